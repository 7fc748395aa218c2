"""Text of one help page: the words a reader sees, without markup.

The help pages are generated XHTML. A page holds, besides its own text,
a header, side bars and a debug footer that every page repeats, and
"switch" groups: alternative spans of which the help viewer shows one,
chosen by the application the page belongs to or by the operating system.
A reader of a page in its own module sees that module's alternative (or the
default one), so only that one is kept; the text of the others would mix
in words of other modules.
"""

import html.parser

# Elements whose content is never text a reader sees as the page's own.
_HIDDEN_ELEMENTS = frozenset({"head", "script", "style", "footer", "noscript"})

# Elements that end a run of text; their text is separated by a space.
_BLOCK_ELEMENTS = frozenset({
    "address", "article", "aside", "blockquote", "br", "caption", "dd", "div",
    "dl", "dt", "figcaption", "figure", "h1", "h2", "h3", "h4", "h5", "h6",
    "header", "hr", "label", "button", "li", "nav", "ol", "p", "pre",
    "section", "table", "tbody", "td", "tfoot", "th", "thead", "tr", "ul",
})

_VOID_ELEMENTS = frozenset({
    "area", "base", "br", "col", "embed", "hr", "img", "input", "link",
    "meta", "param", "source", "track", "wbr",
})

# The switch alternative class that the viewer shows for each module.
MODULE_SWITCH_CLASS = {
    "swriter": "WRITER",
    "scalc": "CALC",
    "simpress": "IMPRESS",
    "sdraw": "DRAW",
    "sdatabase": "BASE",
    "smath": "MATH",
    "schart": "CHART",
    "sbasic": "BASIC",
}


class _Node:
    __slots__ = ("tag", "attrs", "children")

    def __init__(self, tag, attrs):
        self.tag = tag
        self.attrs = attrs
        self.children = []  # _Node or str

    def css_classes(self):
        return (self.attrs.get("class") or "").split()

    def is_switch(self):
        return bool({"switch", "switchinline"} & set(self.css_classes()))

    def is_switch_alternative(self):
        return "hidden" in self.attrs


class _TreeBuilder(html.parser.HTMLParser):
    """Builds a small element tree; tolerates stray end tags."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.root = _Node("#root", {})
        self._stack = [self.root]

    def handle_starttag(self, tag, attrs):
        node = _Node(tag, dict(attrs))
        self._stack[-1].children.append(node)
        if tag not in _VOID_ELEMENTS:
            self._stack.append(node)

    def handle_startendtag(self, tag, attrs):
        self._stack[-1].children.append(_Node(tag, dict(attrs)))

    def handle_endtag(self, tag):
        for depth in range(len(self._stack) - 1, 0, -1):
            if self._stack[depth].tag == tag:
                del self._stack[depth:]
                return

    def handle_data(self, data):
        self._stack[-1].children.append(data)


def _chosen_alternative(switch, switch_class):
    """The alternative the viewer shows: the module's own, else the default."""
    alternatives = [c for c in switch.children
                    if isinstance(c, _Node) and c.is_switch_alternative()]
    for alternative in alternatives:
        if switch_class and switch_class in alternative.css_classes():
            return alternative
    for alternative in alternatives:
        if alternative.attrs.get("id", "").startswith("default"):
            return alternative
    return None


class _SegmentCollector:
    """Walks the tree and gathers runs of text split at block elements."""

    def __init__(self, switch_class):
        self._switch_class = switch_class
        self._current = []
        self.segments = []

    def _end_segment(self):
        text = " ".join("".join(self._current).split())
        if text:
            self.segments.append(text)
        self._current = []

    def walk(self, node):
        if node.tag in _HIDDEN_ELEMENTS:
            return
        block = node.tag in _BLOCK_ELEMENTS
        if block:
            self._end_segment()
        if node.is_switch():
            shown = _chosen_alternative(node, self._switch_class)
            children = [shown] if shown is not None else []
        else:
            children = [c for c in node.children
                        if isinstance(c, str) or not c.is_switch_alternative()]
        for child in children:
            if isinstance(child, str):
                self._current.append(child)
            else:
                self.walk(child)
        if block:
            self._end_segment()

    def finish(self):
        self._end_segment()
        return self.segments


def page_segments(html_text, module):
    """The page's visible text as a list of runs, in reading order."""
    builder = _TreeBuilder()
    builder.feed(html_text)
    builder.close()
    collector = _SegmentCollector(MODULE_SWITCH_CLASS.get(module))
    collector.walk(builder.root)
    return collector.finish()


def count_han(text):
    """Number of CJK unified ideographs in the text."""
    return sum(1 for ch in text
               if "\u4e00" <= ch <= "\u9fff" or "\u3400" <= ch <= "\u4dbf")


def one_line(text):
    """Tabs, newlines and runs of white space collapsed into single spaces."""
    return " ".join(text.split())
