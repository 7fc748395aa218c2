"""A scikit-learn classifier of raw texts that trains and uses a resource set.

    from wenlei.sklearn import TextClassifier
    model = TextClassifier(cost=4, folds=3).fit(texts, labels)
    model.predict(["插入图表"]), model.predict_proba(texts), model.classes_

It fits in a Pipeline, under clone, GridSearchCV and cross_val_score: its
parameters are the training options of `wenlei train` (underscores for
dashes; None leaves the trainer's default).  It pickles with the trained
resource set's bytes, so a process without the training files (a Dask
worker without a shared file system) can use it.  It imports without
scikit-learn (then on a plain base class of its own); fit and predict need
numpy.
"""

import collections.abc
import filecmp
import hashlib
import inspect
import numbers
import os
import shutil
import tempfile
import weakref
from pathlib import Path
from typing import Dict, Optional

from . import _forksafe
from ._classifier import Classifier, _sequence_of_texts, _utf8
from ._training import train

try:
    from sklearn.base import BaseEstimator as _Base
    from sklearn.base import ClassifierMixin as _ClassifierBase
    from sklearn.exceptions import NotFittedError
except ImportError:  # scikit-learn is optional
    class _Base:
        """get_params and set_params as scikit-learn's estimators have them."""

        @classmethod
        def _get_param_names(cls):
            return sorted(name for name, parameter in inspect.signature(cls.__init__).parameters.items()
                          if name != "self" and parameter.kind == parameter.KEYWORD_ONLY)

        def get_params(self, deep=True):
            return {name: getattr(self, name) for name in self._get_param_names()}

        def set_params(self, **params):
            valid = self._get_param_names()
            for name, value in params.items():
                if name not in valid:
                    raise ValueError("invalid parameter %r for %s" % (name, type(self).__name__))
                setattr(self, name, value)
            return self

        def __repr__(self):
            changed = ", ".join("%s=%r" % item for item in self.get_params().items()
                                if item[1] is not None)
            return "%s(%s)" % (type(self).__name__, changed)

    class _ClassifierBase:
        _estimator_type = "classifier"

        def score(self, X, y, sample_weight=None):
            """The accuracy of predict(X) against y."""
            import numpy
            right = numpy.asarray(self.predict(X)) == numpy.asarray(y)
            return float(numpy.average(right, weights=sample_weight))

    class NotFittedError(ValueError, AttributeError):
        """predict and the like before fit."""

# The files of a resource set that travel with a fitted estimator, and the
# name of the segmentation dictionary among them when it is not the bundled.
_SET_FILES = ("Source.dat", "SVMModel", "Confidence.txt", "Metadata.txt")
_DICTIONARY = "dictionary.txt"


def _texts(X) -> list:
    """A list of texts from a list, a 1-d array, or a one-column table."""
    if (hasattr(X, "__array__") or hasattr(X, "shape")) and not isinstance(X, (str, bytes)):
        import numpy
        array = numpy.asarray(X, dtype=object)
        if array.ndim == 2 and array.shape[1] == 1:
            array = array[:, 0]
        if array.ndim != 1:
            raise ValueError("TextClassifier takes one text per sample (a 1-d sequence), "
                             "not an array of shape %s" % (array.shape,))
        X = list(array)
    texts = _sequence_of_texts(X, "TextClassifier")
    for text in texts:
        _utf8(text)  # raises TypeError for anything but str and bytes
    return texts


def _label_values(y) -> list:
    """The labels of y (a list or other iterable, a 1-d array, a Series, a
    one-column table) as the values they are."""
    if isinstance(y, (str, bytes)):
        raise TypeError("y holds one label per text, not a single %s" % type(y).__name__)
    if hasattr(y, "shape") or hasattr(y, "__array__"):
        import numpy
        array = numpy.asarray(y, dtype=object)
        if array.ndim == 2 and array.shape[1] == 1:
            array = array[:, 0]
        if array.ndim != 1:
            raise ValueError("y holds one label per text (a 1-d sequence), not an array of shape %s"
                             % (array.shape,))
        return list(array)
    return list(y)


def _classes(values):
    """The distinct labels, sorted as scikit-learn sorts them (by str()
    within each type when they do not compare), as an array -- of numbers
    when they are all numbers of one kind, else of objects -- and each
    label's position in it."""
    import numpy
    first = {}
    for value in values:
        try:
            first.setdefault(value, value)
        except TypeError:
            raise TypeError("a label is a hashable value, not %r" % (value,)) from None
    named = {}
    for label in first:
        other = named.setdefault(str(label), label)
        if other is not label:
            raise ValueError("the labels %r and %r are ambiguous: both are named %r (a class is "
                             "named by its label's str())" % (other, label, str(label)))
    try:
        ordered = sorted(first)
    except TypeError:
        ordered = sorted(first, key=lambda label: (type(label).__name__, str(label)))
    kinds = {_number_kind(label) for label in ordered}
    if len(kinds) == 1 and None not in kinds:
        classes = numpy.array(ordered)
    else:
        classes = numpy.empty(len(ordered), dtype=object)
        for index, label in enumerate(ordered):
            classes[index] = label
    return classes, {label: index for index, label in enumerate(ordered)}


def _number_kind(label):
    """'b', 'i' or 'f' for a bool, whole or real number (numpy's too); None
    for anything else."""
    import numpy
    if isinstance(label, (bool, numpy.bool_)):
        return "b"
    if isinstance(label, numbers.Integral):
        return "i"
    if isinstance(label, numbers.Real):
        return "f"
    return None


def _sample_weights(sample_weight, count: int):
    """The weights as an array of count numbers, each finite and 0 or more
    (all 1 when None)."""
    import numpy
    if sample_weight is None:
        return numpy.ones(count)
    weights = numpy.asarray(sample_weight, dtype=float)
    if weights.shape != (count,):
        raise ValueError("sample_weight holds one number per text: %d texts, shape %s"
                         % (count, weights.shape))
    if not numpy.all(numpy.isfinite(weights)) or weights.min() < 0:
        raise ValueError("sample_weight holds finite numbers of 0 or more")
    return weights


def _position_of(position: dict, label, what: str) -> int:
    try:
        return position[label]
    except (KeyError, TypeError):
        raise ValueError("%s names the label %r, which y does not hold" % (what, label)) from None


# Put in front of a name that holds a space: the library answers with the
# text after a name's first space (a tag such as "1 体育" answers "体育"),
# so that "sci fi" and "hi fi" would both answer "fi".  A name longer than
# the resource file's 9 GBK bytes is answered whole, but training still
# refuses two whose texts after the first space are equal.
_TAG = "_ "
_SHORT_NAME_BYTES = 9


def _gbk_length(name: str) -> int:
    try:
        return len(name.encode("gbk"))
    except UnicodeEncodeError:  # training refuses it, naming the class
        return len(name.encode("utf-8"))


def _answer_form(name: str) -> str:
    return name.partition(" ")[2] if " " in name else name


def _class_names(classes) -> list:
    """The class name training gets for each label: its str(), behind a tag
    when it holds a space (or is the reserved "NULL") and would not be
    answered whole otherwise, so that every class answers with its label's
    str() (a tagged name over 9 GBK bytes with the tag in front)."""
    names, tagged = [], []
    for label in classes:
        name = str(label)
        if not name:
            raise ValueError("the label %r has an empty str(); a class needs a name" % (label,))
        names.append(name)
        tagged.append(name == "NULL" or (" " in name and _gbk_length(name) <= _SHORT_NAME_BYTES))
    while True:  # long names with a space: tagged only where their answer forms clash
        forms = [name if tag else _answer_form(name) for name, tag in zip(names, tagged)]
        clashing = [index for index, form in enumerate(forms)
                    if not tagged[index] and " " in names[index] and
                    (forms.count(form) > 1 or not form)]
        if not clashing:
            return [_TAG + name if tag else name for name, tag in zip(names, tagged)]
        for index in clashing:
            tagged[index] = True


class _Words:
    """The words of texts, each text segmented once per process for every
    fit and prediction of the estimators: a search fits and scores the same
    texts many times.  Holds up to LIMIT texts' words (then starts again),
    as UTF-8 words joined by spaces (a word holds no white space)."""

    LIMIT = 200_000

    def __init__(self) -> None:
        self._joined: Dict[tuple, bytes] = {}
        self._digests: Dict[tuple, str] = {}
        self._lock = _forksafe.Lock()

    def segment(self, text: bytes, dictionary) -> bytes:
        from ._classifier import segment
        return " ".join(segment(text, dictionary)).encode("utf-8", "surrogatepass")

    def _dictionary_key(self, path):
        """None for the bundled dictionary, else the file's digest: a fitted
        estimator segments with its own copy of the one it was fitted with."""
        if path is None:
            return None
        status = os.stat(path)
        known = (path, status.st_size, status.st_mtime_ns)
        with self._lock:
            digest = self._digests.get(known)
        if digest is None:
            with open(path, "rb") as dictionary:
                digest = hashlib.sha256(dictionary.read()).hexdigest()
            with self._lock:
                self._digests[known] = digest
        return digest

    def joined(self, texts: list, dictionary) -> list:
        """Each text's words joined by spaces, as UTF-8 bytes."""
        path = None if dictionary is None else os.path.abspath(os.fspath(dictionary))
        key = self._dictionary_key(path)
        found = []
        for text in texts:
            data = _utf8(text)
            with self._lock:
                words = self._joined.get((key, data))
            if words is None:
                words = self.segment(data, path)
                with self._lock:
                    if len(self._joined) >= self.LIMIT:
                        self._joined.clear()
                    self._joined[(key, data)] = words
            found.append(words)
        return found


_WORDS = _Words()


class TextClassifier(_ClassifierBase, _Base):
    """Classifies raw Chinese texts (str or UTF-8 bytes) with a resource set
    trained on fit(texts, labels).

    Every parameter is a training option of `wenlei train` (see its --help),
    named with underscores for dashes; None keeps the trainer's default, a
    list gives candidates that training chooses from by cross-validation.
    Two take scikit-learn's names: ``n_jobs`` (folds trained at once; -1
    every processor; ``jobs`` is the same) and ``class_weight``: None,
    'balanced', a dict from label to a factor of its class's cost, or, as
    ``class_weights`` (the same parameter under its older name), the
    exponent P of the weighting (N / (classes * its documents))^P, or a
    list of candidate exponents.  ``dictionary`` is the segmentation
    dictionary (None: the bundled one), ``min_confidence`` the threshold for
    Result.unknown of ``classifier_``.  ``verbose`` shows training's
    progress on standard error.

    After fit: ``classes_`` (the labels, sorted, as scikit-learn orders
    them), ``classifier_`` (the wenlei.Classifier of the trained set).
    Labels may be any hashable values whose str() forms differ from one
    another (1 and "1" are refused as ambiguous); a class is named by its
    label's str(), behind the tag "_ " when that holds a space, so that
    ``classifier_`` answers with the whole str().  predict gives an array
    of objects holding the labels, or of numbers when they are all
    numbers of one kind.
    A document without a known word gets the training labels' frequencies as
    its probabilities (and so the most frequent label).  decision_function
    gives the linear model's margins (for two classes, one value, positive
    for classes_[1]).
    """

    def __init__(self, *, kernel=None, solver=None, multiclass=None, cost=None, features=None,
                 min_df=None, folds=None, seed=None, n_jobs=None, class_weight=None,
                 vocabulary=None, ranking=None, gamma=None, degree=None, coef0=None,
                 stop_words=None, unknown_share=None, dictionary=None, min_confidence=None,
                 verbose=False, jobs=None, class_weights=None):
        self.kernel = kernel
        self.solver = solver
        self.multiclass = multiclass
        self.cost = cost
        self.features = features
        self.min_df = min_df
        self.folds = folds
        self.seed = seed
        self.n_jobs = n_jobs
        self.class_weight = class_weight
        self.vocabulary = vocabulary
        self.ranking = ranking
        self.gamma = gamma
        self.degree = degree
        self.coef0 = coef0
        self.stop_words = stop_words
        self.unknown_share = unknown_share
        self.dictionary = dictionary
        self.min_confidence = min_confidence
        self.verbose = verbose
        self.jobs = jobs
        self.class_weights = class_weights

    # Parameters that are not options of training.
    _NOT_TRAINING = ("min_confidence", "verbose")
    # The parameters a search chooses among, and the point of the ones left
    # None when the caller fixed the others (every word, as TF-IDF with a
    # linear SVM takes them; the SVM's usual cost).
    _SEARCHED = ("cost", "features", "class_weight", "class_weights")
    FIXED_POINT = {"cost": 1, "features": "all"}

    def _more_tags(self):
        return {"X_types": ["string"], "requires_y": True}

    # ---- fitting ----

    def fit(self, X, y, sample_weight=None):
        """Trains a resource set on texts X with labels y; returns self.

        ``sample_weight`` (one number of 0 or more per text): a text of
        weight 0 is left out of training, so that a class whose texts all
        weigh 0 is never predicted.  liblinear and libsvm weigh classes, not
        single documents, so the other weights count by class: each class's
        cost is multiplied by its texts' mean weight over the mean of all
        (on top of ``class_weight``), and the prior a document without a
        known word gets is weighted."""
        import numpy
        texts = _texts(X)
        values = _label_values(y)
        if len(values) != len(texts):
            raise ValueError("y holds one label per text: %d texts, %d labels"
                             % (len(texts), len(values)))
        classes, position = _classes(values)
        if len(classes) < 2:
            raise ValueError("training needs at least two classes, y holds %d class" % len(classes))
        names = _class_names(classes)
        numbers = numpy.array([position[value] for value in values], dtype=numpy.intp)
        weights = _sample_weights(sample_weight, len(texts))
        kept = numpy.flatnonzero(weights > 0)
        if len(set(numbers[kept].tolist())) < 2:
            raise ValueError("training needs at least two classes with texts of weight above 0")
        options = self._training_options()
        self._weigh_classes(options, names, position, numbers[kept], weights[kept])
        state = _FittedSet()
        words = _WORDS.joined([texts[index] for index in kept], self.dictionary)
        train((words, [names[number] for number in numbers[kept]]),
              state.directory, progress=bool(self.verbose), segmented=True, **options)
        state.load_files(self.dictionary)
        self._fitted = state
        self.classes_ = classes
        self._columns = state.columns(names)
        prior = numpy.bincount(numbers, weights=weights, minlength=len(classes))
        self.prior_ = prior / prior.sum()
        return self

    @staticmethod
    def _weigh_classes(options: dict, names, position, numbers, weights) -> None:
        """class_weight as the trainer takes it: a dict by class name, with
        the sample weights' factors by class multiplied in."""
        import numpy
        weighting = options.pop("class_weight")
        if isinstance(weighting, collections.abc.Mapping):
            weighting = {names[_position_of(position, label, "class_weight")]: factor
                         for label, factor in weighting.items()}
        factors = {}
        if weights.min() != weights.max():
            mean = weights.mean()
            for number in sorted(set(numbers.tolist())):
                factors[names[number]] = float(weights[numbers == number].mean() / mean)
        if factors and not (weighting is None or isinstance(weighting, collections.abc.Mapping)):
            options["class_weights"] = weighting  # an exponent, or 'balanced', beside the factors
            weighting = None
        if factors:
            weighting = {name: factor * (weighting or {}).get(name, 1.0)
                         for name, factor in factors.items()}
        options["class_weight"] = weighting

    def _training_options(self) -> dict:
        """The training options of the parameters.  A fit searches the
        parameters given as lists (the trainer's own grid of costs and
        feature counts when none of the three is given); when the caller
        fixed them all (single values), the others take FIXED_POINT and the
        fit trains that point without a search, its confidence calibrated
        on one fold held out."""
        options = {name: value for name, value in self.get_params(deep=False).items()
                   if name not in self._NOT_TRAINING}
        given = [options[name] for name in self._SEARCHED if options[name] is not None]
        if given and not any(isinstance(value, (list, tuple)) for value in given):
            for name, value in self.FIXED_POINT.items():
                if options[name] is None:
                    options[name] = value
            options["held_out"] = True
        return options

    # ---- using ----

    @property
    def classifier_(self) -> Classifier:
        """The wenlei.Classifier of the trained resource set."""
        return self._state().classifier(self.min_confidence)

    def _state(self) -> "_FittedSet":
        state = getattr(self, "_fitted", None)
        if state is None:
            raise NotFittedError("this TextClassifier is not fitted yet; call fit first")
        return state

    def predict_proba(self, X):
        """Probabilities, one row per text, columns in the order of classes_."""
        import numpy
        rankings = self.classifier_._rankings(_WORDS.joined(_texts(X), self._state().dictionary()))
        rows = numpy.tile(self.prior_, (len(rankings), 1))
        for row, ranking in enumerate(rankings):
            if ranking:
                rows[row] = 0.0
                for number, probability in ranking:
                    rows[row, self._columns[number - 1]] = probability
        return rows

    def predict_log_proba(self, X):
        import numpy
        with numpy.errstate(divide="ignore"):
            return numpy.log(self.predict_proba(X))

    def decision_function(self, X):
        """The linear model's margins, one row per text, columns in the
        order of classes_ (wenlei_result_margin: each class's decision
        values against the others, summed and divided by the number of
        classes); for two classes, as scikit-learn's linear classifiers
        give them, one value per text, positive for classes_[1].  A text
        without a known word, which predict answers with the most frequent
        label, gets the labels' frequencies less their mean."""
        import numpy
        margins = self.classifier_._margins(_WORDS.joined(_texts(X), self._state().dictionary()))
        rows = numpy.tile(self.prior_ - self.prior_.mean(), (len(margins), 1))
        for row, values in enumerate(margins):
            if values:
                rows[row, self._columns] = values
        return rows[:, 1] - rows[:, 0] if len(self.classes_) == 2 else rows

    def predict(self, X):
        """The most probable label of each text (the first in classes_ order
        on a tie), as an array of classes_'s type: of objects holding the
        labels as given, or of numbers when the labels were all numbers of
        one kind (scikit-learn's metrics take no numbers in an object array)."""
        import numpy
        probabilities = self.predict_proba(X)  # raises NotFittedError first
        return self.classes_[numpy.argmax(probabilities, axis=1)]

    # ---- pickling: the trained set's bytes, never its path ----

    def __getstate__(self):
        state = dict(self.__dict__)
        fitted = state.pop("_fitted", None)
        if fitted is not None:
            state["_set_files"] = fitted.files
        return state

    def __setstate__(self, state):
        files = state.pop("_set_files", None)
        self.__dict__.update(state)
        if files is not None:
            self._fitted = _FittedSet(files)


def _is_bundled_dictionary(path) -> bool:
    from . import _library as native
    bundled = native.library().wenlei_default_dictionary()
    if bundled is None:
        return False
    try:
        return filecmp.cmp(os.fsdecode(bundled), path, shallow=False)
    except OSError:
        return False


class _FittedSet:
    """A trained resource set: its files' bytes, and a private directory
    holding them for the library, removed with this object."""

    def __init__(self, files: Optional[Dict[str, bytes]] = None) -> None:
        self._folder = tempfile.mkdtemp(prefix="wenlei-estimator-")
        self._cleanup = weakref.finalize(self, shutil.rmtree, self._folder, True)
        self.directory = str(Path(self._folder) / "set")
        self.files: Dict[str, bytes] = {}
        self._classifiers: Dict[Optional[float], Classifier] = {}
        self._lock = _forksafe.Lock()
        if files is not None:
            Path(self.directory).mkdir()
            for name, data in files.items():
                (Path(self.directory) / name).write_bytes(data)
            self.files = dict(files)

    def load_files(self, dictionary) -> None:
        """Takes the trained files, and a copy of the dictionary they were
        segmented with unless it is the bundled one (installed everywhere;
        a set opened with another bundled dictionary warns, as its
        Metadata.txt names the one it was trained with)."""
        if dictionary is not None and not _is_bundled_dictionary(dictionary):
            shutil.copyfile(dictionary, Path(self.directory) / _DICTIONARY)
        for name in _SET_FILES + (_DICTIONARY,):
            path = Path(self.directory) / name
            if path.is_file():
                self.files[name] = path.read_bytes()

    def columns(self, names) -> list:
        """The position in ``names`` (the labels' names, in classes_ order)
        of each class number 1, 2, ... of the trained set."""
        position = {name: index for index, name in enumerate(names)}
        return [position[label] for label in self.classifier(None).class_labels]

    def dictionary(self) -> Optional[str]:
        """The copy of the dictionary the set was trained with; None: the bundled one."""
        dictionary = Path(self.directory) / _DICTIONARY
        return str(dictionary) if dictionary.is_file() else None

    def classifier(self, min_confidence: Optional[float]) -> Classifier:
        with self._lock:
            opened = self._classifiers.get(min_confidence)
            if opened is None:
                opened = self._classifiers[min_confidence] = Classifier(
                    self.directory, min_confidence=min_confidence, dictionary=self.dictionary())
            return opened


__all__ = ["TextClassifier"]
