"""Tests of the corpus helpers: page text, boilerplate, split, segmentation,
samples and the peers' scoring.

Run: /usr/bin/python3 -m unittest discover -s scripts/corpus -p '*_test.py'
"""

import collections
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import build_corpus  # noqa: E402
import helptext  # noqa: E402
import make_samples  # noqa: E402
import segment_tsv  # noqa: E402


def has_module(name):
    return importlib.util.find_spec(name) is not None


def page(body, title="标题"):
    """A help page shaped like the real ones: head, navigation, body, footer."""
    return f"""<!DOCTYPE html>
<html lang="zh-CN"><head><title>{title}</title>
<script type="text/javascript">var x = "脚本里的字";</script>
<style>p {{ color: red }}</style>
<meta name="viewport" content="width=device-width">
</head><body>
<header><a class="logo"><p>LibreOffice 7.4 帮助</p></a></header>
<aside class="rightside"><label>目录</label></aside>
<div id="DisplayArea">{body}</div>
<footer><div class="debug"><p>This page is: /text/swriter/x.xhp</p></div></footer>
</body></html>"""


class PageTextTest(unittest.TestCase):
    def test_drops_head_scripts_styles_and_footer(self):
        segments = helptext.page_segments(page("<p>正文内容</p>"), "swriter")
        text = " ".join(segments)
        self.assertIn("正文内容", text)
        for hidden in ("标题", "脚本里的字", "color", "This page is", "x.xhp"):
            self.assertNotIn(hidden, text)

    def test_blocks_split_runs_and_inline_elements_do_not(self):
        segments = helptext.page_segments(page(
            "<h1>插入<span class='emph'>表格</span></h1>"
            "<p>选择「<a href='x'>表格 - 插入</a>」。</p><p>第二\n  段</p>"),
            "swriter")
        self.assertEqual(segments[-3:], ["插入表格", "选择「表格 - 插入」。", "第二 段"])

    def test_character_references_are_decoded(self):
        segments = helptext.page_segments(page("<p>A &amp; B &lt;C&gt;</p>"), "scalc")
        self.assertEqual(segments[-1], "A & B <C>")

    def test_stray_end_tags_are_tolerated(self):
        segments = helptext.page_segments(page("</span><p>文字</div></p><p>后面</p>"),
                                          "scalc")
        self.assertEqual(segments[-2:], ["文字", "后面"])

    def test_switch_keeps_the_alternative_of_the_pages_module(self):
        switch = ('<p>转到<span class="switchinline">'
                  '<span hidden="true" id="WRITERx" class="WRITER">文档起始</span>'
                  '<span hidden="true" id="CALCx" class="CALC">工作表起始</span>'
                  '<span hidden="true" id="defaultx">首页</span></span>。</p>')
        self.assertEqual(helptext.page_segments(page(switch), "swriter")[-1],
                         "转到文档起始。")
        self.assertEqual(helptext.page_segments(page(switch), "scalc")[-1],
                         "转到工作表起始。")
        self.assertEqual(helptext.page_segments(page(switch), "smath")[-1],
                         "转到首页。")

    def test_system_switch_keeps_the_default(self):
        switch = ('<p>按<span class="switchinline">'
                  '<span hidden="true" id="MACx" class="MAC">Command</span>'
                  '<span hidden="true" id="defaultx">Ctrl</span></span>键</p>')
        self.assertEqual(helptext.page_segments(page(switch), "sdraw")[-1], "按Ctrl键")

    def test_block_switch_keeps_only_the_chosen_blocks(self):
        switch = ('<span class="switch">'
                  '<span hidden="true" id="CALCy" class="CALC"><div><p>计算表格</p></div></span>'
                  '<span hidden="true" id="defaulty"><div><p>普通文字</p></div></span>'
                  '</span>')
        self.assertEqual(helptext.page_segments(page(switch), "scalc")[-1], "计算表格")
        self.assertEqual(helptext.page_segments(page(switch), "sbasic")[-1], "普通文字")

    def test_counts_chinese_characters_only(self):
        self.assertEqual(helptext.count_han("插入 table，表格。"), 4)
        self.assertEqual(helptext.one_line(" a\tb\n\nc  "), "a b c")


class Pages:
    """Fake pages for the boilerplate and split steps."""

    @staticmethod
    def make(class_name, count, segments=("正文",)):
        return [build_corpus.Page("m", class_name, f"text/m/{class_name}/{i:03d}.html",
                                  list(segments) + [f"第{i}页"])
                for i in range(count)]


class BoilerplateAndSplitTest(unittest.TestCase):
    def test_text_on_a_large_share_of_pages_is_boilerplate(self):
        pages = (Pages.make("甲", 6, ("导航", "共同")) + Pages.make("乙", 4, ("导航",)))
        found = build_corpus.find_boilerplate(pages, 0.7)
        self.assertEqual(set(found), {"导航"})
        build_corpus.remove_boilerplate(pages, found)
        self.assertEqual(pages[0].text, "共同 第0页")
        self.assertEqual(pages[-1].text, "第3页")

    def test_split_is_stratified_with_a_fifth_held_out(self):
        pages = Pages.make("甲", 100) + Pages.make("乙", 11) + Pages.make("丙", 2)
        classes = [("a", "甲"), ("b", "乙"), ("c", "丙")]
        train, test = build_corpus.split_pages(pages, classes, 0.2)
        held_out = collections.Counter(p.class_name for p in test)
        self.assertEqual(held_out, {"甲": 20, "乙": 2, "丙": 1})
        self.assertEqual(len(train) + len(test), len(pages))
        self.assertFalse({p.path for p in train} & {p.path for p in test})

    def test_split_depends_on_paths_only(self):
        classes = [("a", "甲"), ("b", "乙")]
        pages = Pages.make("甲", 30) + Pages.make("乙", 30)
        first = build_corpus.split_pages(pages, classes, 0.2)
        second = build_corpus.split_pages(list(reversed(pages)), classes, 0.2)
        self.assertEqual([p.path for p in first[1]], [p.path for p in second[1]])
        self.assertEqual([p.path for p in first[0]], [p.path for p in second[0]])

    def test_classes_are_interleaved_in_the_output(self):
        classes = [("a", "甲"), ("b", "乙")]
        train, _ = build_corpus.split_pages(
            Pages.make("甲", 50) + Pages.make("乙", 50), classes, 0.2)
        first_half = {p.class_name for p in train[:len(train) // 2]}
        self.assertEqual(first_half, {"甲", "乙"})

    def test_class_names_must_fit_the_resource_file(self):
        build_corpus.check_class_names(build_corpus.MODULE_CLASSES)
        with self.assertRaises(build_corpus.CorpusError):
            build_corpus.check_class_names([("x", "五个汉字名")])


class BuildTest(unittest.TestCase):
    """The whole raw-corpus step on a small help tree."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.text_dir = os.path.join(self.dir, "zh-CN", "text")
        self.out = os.path.join(self.dir, "out")
        long_text = "这是一个足够长的中文帮助页面，里面有二十多个汉字可以保留。"
        for module, _ in build_corpus.MODULE_CLASSES:
            folder = os.path.join(self.text_dir, module, "guide")
            os.makedirs(folder)
            for i in range(5):
                self.write(os.path.join(folder, f"p{i}.html"),
                           page(f"<h1>{module}\t第{i}页</h1><p>{long_text}{module}</p>"))
            self.write(os.path.join(folder, "short.html"), page("<p>太短 only English</p>"))
        # The same text as swriter's p0, in another file: kept once.
        self.write(os.path.join(self.text_dir, "swriter", "guide", "q.html"),
                   page(f"<h1>swriter\t第0页</h1><p>{long_text}swriter</p>"))
        os.makedirs(os.path.join(self.text_dir, "shared"))
        self.write(os.path.join(self.text_dir, "shared", "s.html"), page("<p>共享页面</p>"))

    def tearDown(self):
        shutil.rmtree(self.dir)

    @staticmethod
    def write(path, text):
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def read(self, name):
        with open(os.path.join(self.out, name), encoding="utf-8") as f:
            return [line.rstrip("\n").split("\t") for line in f]

    def test_writes_matching_raw_and_path_files(self):
        messages = []
        build_corpus.build(self.text_dir, self.out, 20, 0.5, 0.2, messages.append)
        train, test = self.read("train-raw.tsv"), self.read("test-raw.tsv")
        train_paths, test_paths = self.read("train-paths.tsv"), self.read("test-paths.tsv")
        self.assertEqual(len(train) + len(test), 8 * 5)
        self.assertEqual(len(test), 8)  # one of five per class
        for rows, paths in ((train, train_paths), (test, test_paths)):
            self.assertEqual([r[0] for r in rows], [p[0] for p in paths])
            for row in rows:
                self.assertEqual(len(row), 2)  # the page's tab became a space
                self.assertNotIn("LibreOffice 7.4 帮助", row[1])
        every_path = [p[1] for p in train_paths + test_paths]
        self.assertTrue(all(p.startswith("text/") for p in every_path))
        self.assertFalse(any("short" in p or "shared" in p for p in every_path))
        self.assertEqual(sum(p.endswith(("p0.html", "q.html")) and "swriter" in p
                             for p in every_path), 1)
        summary = "\n".join(messages)
        self.assertIn("dropped 8 pages with fewer than 20 Chinese characters "
                      "and 1 pages whose text repeats", summary)

    def test_missing_module_folder_is_an_error(self):
        shutil.rmtree(os.path.join(self.text_dir, "smath"))
        with self.assertRaisesRegex(build_corpus.CorpusError, "smath"):
            build_corpus.build(self.text_dir, self.out, 20, 0.5, 0.2, lambda m: None)


class SegmentTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.raw = os.path.join(self.dir, "raw.tsv")
        self.out = os.path.join(self.dir, "out.tsv")
        with open(self.raw, "w", encoding="utf-8") as f:
            f.write("文字处理\t插入表格\n公式\t  输入 公式 \n")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def segmenter(self, code):
        path = os.path.join(self.dir, "seg.py")
        with open(path, "w", encoding="utf-8") as f:
            f.write("import sys\n" + code)
        return f"{sys.executable} {path}"

    def test_each_line_becomes_class_and_words(self):
        # One word per character: a stand-in with the same line protocol.
        command = self.segmenter(
            "for line in sys.stdin.buffer:\n"
            "    t = line.decode('utf-8').strip().replace(' ', '')\n"
            "    sys.stdout.write('  '.join(t) + '\\n')\n")
        segment_tsv.segment_file(command, self.raw, self.out, lambda m: None)
        with open(self.out, encoding="utf-8") as f:
            self.assertEqual(f.read(), "文字处理\t插 入 表 格\n公式\t输 入 公 式\n")

    def test_a_wrong_number_of_lines_is_an_error_and_writes_nothing(self):
        command = self.segmenter("sys.stdin.read()\nprint('one line')\n")
        with self.assertRaisesRegex(segment_tsv.SegmentError, "1 lines for 2 documents"):
            segment_tsv.segment_file(command, self.raw, self.out, lambda m: None)
        self.assertFalse(os.path.exists(self.out))

    def test_a_failing_segmenter_is_reported_with_its_message(self):
        command = self.segmenter("sys.stderr.write('no dictionary\\n')\nsys.exit(3)\n")
        with self.assertRaisesRegex(segment_tsv.SegmentError, "status 3: no dictionary"):
            segment_tsv.segment_file(command, self.raw, self.out, lambda m: None)

    def test_a_missing_segmenter_is_named(self):
        missing = os.path.join(self.dir, "build", "wenlei")
        with self.assertRaisesRegex(segment_tsv.SegmentError,
                                    "segmenter not found: .*build/wenlei"):
            segment_tsv.segmenter_argv(f"{missing} segment --lines")
        with self.assertRaisesRegex(segment_tsv.SegmentError, "empty"):
            segment_tsv.segmenter_argv("  ")

    def test_a_line_without_class_is_an_error_with_its_number(self):
        with open(self.raw, "a", encoding="utf-8") as f:
            f.write("no tab here\n")
        with self.assertRaisesRegex(segment_tsv.SegmentError, "raw.tsv:3:"):
            segment_tsv.read_raw(self.raw)

    @unittest.skipUnless(has_module("jieba"), "python3-jieba is not installed")
    def test_jieba_reference_drops_white_space(self):
        import jieba_lines
        words = jieba_lines.segment_line("插入表格  Line spacing").split(" ")
        self.assertEqual("".join(words), "插入表格Linespacing")
        self.assertNotIn("", words)


class SampleTest(unittest.TestCase):
    def test_trims_at_a_sentence_end_within_the_limit(self):
        text = "第一句话。第二句话！第三句话很长很长"
        trimmed = make_samples.trim(text, len("第一句话。第二句话！第三".encode("utf-8")))
        self.assertEqual(trimmed, "第一句话。第二句话！")

    def test_short_text_is_kept_and_text_without_sentences_cut_at_a_word(self):
        self.assertEqual(make_samples.trim("短。", 100), "短。")
        self.assertEqual(make_samples.trim("alpha beta gamma", 12), "alpha beta")

    def test_prefers_the_most_chinese_page(self):
        long_chinese = "汉" * 200
        pairs = [("甲", "code " * 100 + long_chinese, "text/a.html"),
                 ("甲", long_chinese + "。", "text/b.html"),
                 ("乙", "x", "text/c.html")]
        self.assertEqual(make_samples.pick(pairs, "甲")[1], "text/b.html")
        with self.assertRaises(ValueError):
            make_samples.pick(pairs, "丙")


@unittest.skipUnless(has_module("sklearn"), "python3-sklearn is not installed")
class PeerTest(unittest.TestCase):
    def test_scores(self):
        import peers
        result = peers.scores(["a", "a", "b", "b"], ["a", "b", "b", "b"])
        self.assertAlmostEqual(result["accuracy"], 0.75)
        # F1: a = 2/3, b = 4/5.
        self.assertAlmostEqual(result["macro_f1"], (2 / 3 + 4 / 5) / 2)
        self.assertAlmostEqual(result["per_class_f1"]["b"], 0.8)

    def test_scikit_peers_learn_separable_classes(self):
        import peers
        train = (["甲"] * 10 + ["乙"] * 10,
                 [f"插入 表格 词{i}" for i in range(10)] + [f"公式 符号 词{i}" for i in range(10)])
        for peer in peers.make_peers(tempfile.gettempdir())[1:]:
            peer.train(*train)
            self.assertEqual(peer.predict_all(["表格 插入", "符号"]), ["甲", "乙"])

    @unittest.skipUnless(shutil.which("fasttext"), "fasttext is not installed")
    def test_fasttext_predicts_in_batch_and_one_by_one_alike(self):
        import peers
        train = (["甲"] * 20 + ["乙"] * 20,
                 ["插入 表格 行 列"] * 20 + ["公式 符号 积分 矩阵"] * 20)
        with tempfile.TemporaryDirectory() as workdir:
            peer = peers.FastTextPeer(workdir)
            peer.train(*train)
            self.assertEqual(peer.predict_all(["表格 行", "", "积分 矩阵"])[::2],
                             ["甲", "乙"])
            times = peer.time_one_by_one(["表格 行", "积分 矩阵"])
            self.assertGreater(times["predict_one_ms_mean"], 0)

    def test_rejects_a_file_without_tabs(self):
        import peers
        with tempfile.NamedTemporaryFile("w", suffix=".tsv", delete=False,
                                         encoding="utf-8") as f:
            f.write("甲\t词 词\nbroken line\n")
        try:
            with self.assertRaisesRegex(peers.PeerError, ":2:"):
                peers.read_split(f.name)
        finally:
            os.unlink(f.name)


class CommandLineTest(unittest.TestCase):
    ROOT = os.path.dirname(os.path.dirname(HERE))

    def run_script(self, *args):
        return subprocess.run([os.path.join(self.ROOT, "scripts", args[0]), *args[1:]],
                              capture_output=True, text=True)

    def test_unknown_option_is_refused(self):
        run = self.run_script("prepare-corpus", "--bogus")
        self.assertEqual(run.returncode, 1)
        self.assertIn("unknown argument: --bogus", run.stderr)

    def test_compare_peers_needs_two_files(self):
        run = self.run_script("compare-peers", "only-one.tsv")
        self.assertEqual(run.returncode, 2)
        self.assertIn("usage:", run.stderr)


if __name__ == "__main__":
    unittest.main()
