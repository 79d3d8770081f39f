"""The two windows of the real Verdalo.exe under Wine, read back through the UI test driver:
layout, captions, styles, modality, keys, the link. Runs inside tests/e2e/netns.sh."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import subprocess  # noqa: E402

from harness import Driver, Program, prepare_prefix, wine_env  # noqa: E402

EXE = os.environ.get("VERDALO_EXE", "")
DRIVER = os.environ.get("VERDALO_DRIVER", "")
FAILING = os.environ.get("VERDALO_FAILING", "")  # start-up whose main window fails
SHOTS = os.environ.get("VERDALO_UI_SHOTS", "")

# The main window's layout as the design gives it: name, class, parent, caption, rectangle
# in the parent's client area. The docked bars are checked on their own.
MAIN = [
    ("分组框3", "Button", "main", "查询列表", (8, 48, 328, 336)),
    ("超级列表框_查询列表", "SysListView32", "分组框3", "", (8, 16, 312, 312)),
    ("分组框1", "Button", "main", "导入导出", (344, 48, 216, 128)),
    ("标签1", "Static", "分组框1", "文件位置:", (8, 16, 80, 24)),
    ("编辑框_文件位置", "Edit", "分组框1", "", (64, 16, 144, 20)),
    ("按钮_文件位置", "Button", "分组框1", "浏览", (88, 40, 48, 24)),
    ("按钮_导入", "Button", "分组框1", "导入", (136, 40, 48, 24)),
    ("标签2", "Static", "分组框1", "保存位置:", (8, 72, 80, 24)),
    ("编辑框_保存位置", "Edit", "分组框1", "", (64, 72, 144, 20)),
    ("按钮_保存位置", "Button", "main", "浏览", (432, 144, 48, 24)),
    ("按钮_导出", "Button", "main", "导出", (480, 144, 48, 24)),
    ("分组框2", "Button", "main", "单一查询", (344, 176, 216, 112)),
    ("标签3", "Static", "分组框2", "IP地址:", (16, 16, 80, 24)),
    ("编辑框_IP地址", "Edit", "分组框2", "", (64, 16, 144, 20)),
    ("标签4", "Static", "分组框2", "结果:", (28, 40, 32, 24)),
    ("编辑框_结果", "Edit", "分组框2", "", (64, 40, 144, 40)),
    ("按钮_单一查询", "Button", "分组框2", "查询", (80, 80, 56, 24)),
    ("按钮_复制", "Button", "分组框2", "复制", (136, 80, 56, 24)),
    ("分组框4", "Button", "main", "反向查询", (344, 288, 216, 96)),
    ("标签5", "Static", "分组框4", "实际地址:", (8, 16, 80, 24)),
    ("编辑框_实际地址", "Edit", "分组框4", "", (72, 16, 136, 20)),
    ("标签6", "Static", "分组框4", "(提示:请输入关键字,空格隔开,如:重庆市 电信)", (64, 40, 144, 24)),
    ("按钮_反向查询", "Button", "分组框4", "查询", (88, 64, 48, 24)),
    ("按钮_反向导出", "Button", "分组框4", "导出", (136, 64, 48, 24)),
]

INSTRUCTIONS = (
    "操作说明:\r\n1.导入Excel/txt格式:txt一行一个IP,不能多;Excel在第一列填入所有IP(第一排不要留标题),"
    "另存为97-2003格式(即xls)再导入;\r\n2.导出的文件不能再次导入;\r\n3.反向查询与批量查询的查询方式不同,"
    "反向查询速度可能稍慢;\r\n4.导出的Excel若提示文件不匹配,是否继续?点继续即可,对内容无影响.")

ABOUT = [
    ("about:标签1", "Static", "VerdaloV1.0", (72, 8, 184, 32)),
    ("about:标签2", "Static", INSTRUCTIONS, (8, 40, 352, 184)),
    ("about:标签3", "Static", "by Ombrel", (8, 232, 184, 24)),
    ("about:标签5", "Static", "2015.01.03", (8, 280, 184, 24)),
    ("about:按钮1", "Button", "确定", (304, 272, 56, 32)),
]

SERVICE_OBJECTS = ["通用对话框_打开"]

# Style bits: (name, bits that must be set, bits that must be clear).
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_VSCROLL, WS_DISABLED = 0x00020000, 0x00010000, 0x00200000, 0x08000000
WS_EX_APPWINDOW, WS_EX_CLIENTEDGE = 0x00040000, 0x00000200
ES_MULTILINE, ES_PASSWORD, ES_AUTOHSCROLL, ES_READONLY = 0x4, 0x20, 0x80, 0x800
SS_TYPE_MASK, SS_CENTER, SS_NOPREFIX, SS_CENTERIMAGE = 0x1F, 0x1, 0x80, 0x200
LVS_REPORT, LVS_SINGLESEL, LVS_SHOWSELALWAYS, LVS_EDITLABELS, LVS_NOSORTHEADER = 0x1, 0x4, 0x8, 0x200, 0x8000
LVS_OWNERDATA = 0x1000
LVS_EX_GRIDLINES, LVS_EX_CHECKBOXES, LVS_EX_FULLROWSELECT = 0x1, 0x4, 0x20
TBSTYLE_WRAPABLE, TBSTYLE_FLAT, TBSTYLE_LIST, CCS_NODIVIDER = 0x200, 0x800, 0x1000, 0x40
SBARS_SIZEGRIP = 0x100
BS_TYPE_MASK, BS_GROUPBOX = 0xF, 0x7

STYLES = [
    ("编辑框_结果", ES_MULTILINE | WS_VSCROLL, ES_READONLY | ES_PASSWORD),
    ("编辑框_IP地址", ES_AUTOHSCROLL, ES_MULTILINE | WS_VSCROLL | ES_READONLY | ES_PASSWORD),
    ("编辑框_文件位置", ES_AUTOHSCROLL, ES_MULTILINE | ES_READONLY | ES_PASSWORD),
    ("编辑框_保存位置", ES_AUTOHSCROLL, ES_MULTILINE | ES_READONLY | ES_PASSWORD),
    ("编辑框_实际地址", ES_AUTOHSCROLL, ES_MULTILINE | ES_READONLY | ES_PASSWORD),
    ("超级列表框_查询列表", LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_NOSORTHEADER, LVS_SHOWSELALWAYS | LVS_EDITLABELS),
    ("工具条_查询", TBSTYLE_FLAT | TBSTYLE_WRAPABLE, TBSTYLE_LIST | CCS_NODIVIDER),
    ("状态条1", 0, SBARS_SIZEGRIP),
    ("标签1", SS_NOPREFIX | SS_CENTERIMAGE, 0),
    ("标签6", SS_NOPREFIX, SS_CENTERIMAGE),  # wraps
]


def parse_style(text):
    style, ex = text.split()
    return int(style, 16), int(ex, 16)


def check_frame(test, p, window, size):
    style, ex = parse_style(p.cmd(f"style {window}"))
    test.assertEqual(style & WS_CAPTION, WS_CAPTION, window)
    test.assertTrue(style & WS_SYSMENU and style & WS_MINIMIZEBOX, window)
    test.assertFalse(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), f"{window} can be resized or maximized")
    test.assertTrue(ex & WS_EX_APPWINDOW, f"{window} has no taskbar entry of its own")
    x, y, w, h = p.ints(f"window-rect {window}")
    sw, sh = p.ints("screen")
    test.assertEqual((w, h), size, window)
    test.assertLessEqual(abs(x - (sw - w) // 2), 1, f"{window} not centred: {x}")
    test.assertLessEqual(abs(y - (sh - h) // 2), 1, f"{window} not centred: {y}")


def image_facts(path, crop=""):
    """(width, height, distinct colours) of an image file, or of a part of it ("WxH+X+Y")."""
    out = subprocess.run(["identify", "-format", "%w %h %k", path + (f"[{crop}]" if crop else "")],
                         check=True, timeout=60, capture_output=True, text=True).stdout
    return tuple(int(v) for v in out.split())


class MainWindowLayout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.p = Program(EXE, DRIVER)
        # Taken before any test works the window, so that it shows the start-up state.
        cls.shot = os.path.join(SHOTS or cls.p.tmp, "main-window.png")
        cls.p.screenshot("main", cls.shot)

    @classmethod
    def tearDownClass(cls):
        cls.p.close()

    def test_frame(self):
        # An English system (code page 1252): the Chinese below only reads back through W calls.
        self.assertEqual(self.p.cmd("locale").split()[0], "1252")
        check_frame(self, self.p, "main", (573, 435))
        self.assertEqual(self.p.cmd("get-text main"), "VerdaloV1.0")
        self.assertEqual(self.p.cmd("owner main"), "none")

    def test_controls_as_in_the_layout(self):
        for name, cls, parent, caption, rect in MAIN:
            with self.subTest(name=name):
                self.assertEqual(self.p.cmd(f"class {name}").lower(), cls.lower())
                self.assertEqual(self.p.cmd(f"parent {name}"), parent)
                self.assertEqual(self.p.cmd(f"get-text {name}").replace("\\r\\n", "\r\n"), caption)
                self.assertEqual(tuple(self.p.ints(f"rect {name}")), rect)
                self.assertEqual(self.p.cmd(f"visible {name}"), "1")
                self.assertEqual(self.p.cmd(f"enabled {name}"), "1")
                if not name.startswith(("分组框", "标签")):
                    # Nothing lies over it: a label or a group box would paint over it.
                    self.assertEqual(self.p.cmd(f"covered {name}"), "")

    def test_group_boxes(self):
        for name in ("分组框1", "分组框2", "分组框3", "分组框4"):
            style, _ = parse_style(self.p.cmd(f"style {name}"))
            self.assertEqual(style & BS_TYPE_MASK, BS_GROUPBOX, name)

    def test_styles(self):
        for name, on, off in STYLES:
            with self.subTest(name=name):
                style, ex = parse_style(self.p.cmd(f"style {name}"))
                self.assertEqual(style & on, on, hex(style))
                self.assertEqual(style & off, 0, hex(style))
        for name in ("超级列表框_查询列表", "编辑框_结果", "编辑框_IP地址"):
            self.assertTrue(parse_style(self.p.cmd(f"style {name}"))[1] & WS_EX_CLIENTEDGE, name)
        ex = int(self.p.cmd("list-style"), 16)
        self.assertTrue(ex & LVS_EX_FULLROWSELECT)
        self.assertFalse(ex & (LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES))

    def test_service_objects_are_no_windows(self):
        for name in SERVICE_OBJECTS:
            ok, why = self.p.ask(f"class {name}")
            self.assertFalse(ok, name)
            self.assertIn("service object", why)
        self.assertEqual(len(self.p.cmd("windows").split()), 1)  # the main window alone

    def test_docked_bars(self):
        _, _, cw, ch = self.p.ints("client-rect main")
        x, y, w, h = self.p.ints("rect 工具条_查询")
        self.assertEqual((x, y, w), (0, 0, cw))
        self.assertLessEqual(h, 48, "the toolbar reaches into the group boxes")
        x, y, w, h = self.p.ints("rect 状态条1")
        self.assertEqual((x, w, y + h), (0, cw, ch))
        self.assertGreaterEqual(y, 48 + 336, "the status bar covers the group boxes")

    def test_status_panels(self):
        self.assertEqual(self.p.ints("status-parts"), [50, 260, -1])
        self.assertEqual(self.p.cmd("status 0"), "状态")
        self.assertEqual(self.p.cmd("status 1"), "就绪")
        # Panel 2 holds the public-address text once start-up is done.
        self.assertNotIn(self.p.cmd("status 2"), ("", "正在获取..."))
        _, _, cw, _ = self.p.ints("client-rect main")
        x, _, w, _ = self.p.ints("status-rect 2")
        self.assertGreaterEqual(x, 260)
        self.assertGreaterEqual(x + w, cw - 4)  # the rest of the bar

    def test_list_columns(self):
        self.assertEqual(self.p.cmd("cols"), "2")
        self.assertEqual(self.p.cmd("rows"), "0")
        for col, header, width in [(0, "IP", 120), (1, "来自", 180)]:
            self.assertEqual(self.p.cmd(f"header {col}"), header)
            self.assertEqual(self.p.cmd(f"column-width {col}"), str(width))
        self.assertFalse(self.p.ask("header 2")[0])

    def test_toolbar_entries(self):
        self.assertEqual(self.p.cmd("toolbar-count"), "9")
        # The five of old, the offline mode's check button beside them, then 统计.
        entries = [(0, "button", 0, "开始获取"), (1, "separator", -1, ""), (2, "button", 2, "停止获取"),
                   (3, "separator", -1, ""), (4, "button", 3, "关于"), (5, "separator", -1, ""),
                   (6, "check", 1, "离线查询"), (7, "separator", -1, ""), (8, "button", 4, "统计")]
        commands = set()
        for index, kind, image, text in entries:
            with self.subTest(index=index):
                fields = self.p.cmd(f"toolbar-button {index}").split(" ", 5)
                self.assertEqual(fields[0], "button" if kind == "check" else kind)
                self.assertEqual(int(fields[2]), image)
                self.assertEqual(fields[5] if len(fields) > 5 else "", text)
                if kind in ("button", "check"):
                    # Enabled; a plain push button, or one that stays pressed.
                    self.assertEqual(fields[3:5], ["1", "1" if kind == "check" else "0"])
                    commands.add(fields[1])
                    # Its picture is drawn: plenty of pixels differ from the background.
                    self.assertGreater(int(self.p.cmd(f"toolbar-image {index}")), 100)
        self.assertEqual(len(commands), 5)
        self.assertFalse(self.p.ask("toolbar 1")[0])

    def test_texts_round_trip(self):
        # Every edit box takes and gives back Chinese and a long text on an English system.
        long_text = "甲乙" * 3000
        for name in ("编辑框_文件位置", "编辑框_保存位置", "编辑框_IP地址", "编辑框_实际地址", "编辑框_结果"):
            with self.subTest(name=name):
                self.p.cmd(f"set-text {name} 重庆市 电信 &1")
                self.assertEqual(self.p.cmd(f"get-text {name}"), "重庆市 电信 &1")
                self.p.cmd(f"set-text {name} {long_text}")
                self.assertEqual(self.p.cmd(f"get-text {name}"), long_text)
                self.p.cmd(f"set-text {name} ")

    def test_system_fonts_draw_the_chinese(self):
        # The list's menu and the message boxes draw with the system's fonts, not the skin's:
        # each character its own glyph, not one empty box for all (scripts/wine-fonts.sh).
        for font, text in (("menu", "复制粘贴"), ("message", "目前还没有查询完警告")):
            with self.subTest(font=font):
                self.assertEqual(self.p.cmd(f"font-glyphs {font} {text}"), str(len(set(text))))

    def test_stop_writes_nothing_and_start_reaches_the_batch(self):
        self.p.cmd("toolbar 2")
        time.sleep(1)
        self.assertEqual(self.p.cmd("status 1"), "就绪")
        self.assertEqual(self.p.cmd("no-box"), "")
        # With an empty list the batch worker refuses with a message of its own.
        self.p.cmd("toolbar 0")
        self.assertTrue(self.p.wait_until(lambda: self.p.cmd("status 1") != "就绪", 30))

    def test_screenshot_shows_the_drawn_window(self):
        # The window at its fixed size, its client area drawn: the controls' texts and
        # pictures give hundreds of colours there, an empty client area a handful.
        width, height, _ = image_facts(self.shot)
        self.assertEqual((width, height), (573, 435))
        _, _, cw, ch = self.p.ints("client-rect main")
        border = (width - cw) // 2
        _, _, colours = image_facts(self.shot, f"{cw}x{ch}+{border}+{height - ch - border}")
        self.assertGreater(colours, 100)


class Wiring(unittest.TestCase):
    """Every button reaches its own handler: a dialog, or a message of its own in panel 1
    (with the boxes empty and the list empty, each handler refuses in its own words)."""

    def test_each_button_has_its_handler(self):
        with Program(EXE, DRIVER) as p:
            for button in ("按钮_文件位置", "按钮_保存位置"):
                with self.subTest(button=button):
                    p.cmd(f"click {button}")
                    self.assertTrue(p.cmd("dialog-title 30000"))
                    p.cmd("file-dialog-cancel")
            seen = {}
            for button in ("按钮_导入", "按钮_导出", "按钮_单一查询", "按钮_反向查询", "按钮_反向导出",
                           "按钮_复制"):
                with self.subTest(button=button):
                    p.cmd("set-status 1 -")
                    p.cmd(f"click {button}")
                    text = p.wait_until(lambda: p.cmd("status 1") != "-" and p.cmd("status 1"), 30)
                    self.assertTrue(text, f"{button} did nothing")
                    self.assertNotIn(text, seen, f"{button} answers like {seen.get(text)}")
                    seen[text] = button
                    p.cmd("no-box")


def import_addresses(p, count):
    """Imports `count` addresses through the import box and button."""
    path = os.path.join(p.tmp, "addresses.txt")
    with open(path, "wb") as f:
        f.write("".join(f"10.0.{i // 250}.{i % 250 + 1}\r\n" for i in range(count)).encode("ascii"))
    p.cmd("set-text 编辑框_文件位置 Z:" + path.replace("/", "\\\\"))
    p.cmd("click 按钮_导入")
    p.cmd(f"wait-rows {count} 30000")


def slow_location_service(ms):
    """Every location answer from the mock comes after `ms`; none without an argument."""
    import urllib.request
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    path = "/__mock/clear" if ms is None else "/__mock/rule?match=/ips138.asp&action=slow&ms=%d" % ms
    with opener.open(os.environ["VERDALO_MOCK_URL"] + path, timeout=5) as r:
        r.read()


class DuringABatch(unittest.TestCase):
    def test_about_window_opens_and_the_list_keeps_filling(self):
        # 400 rows at 4 in flight of 40 ms each take 4 s: the batch is still going while
        # the about window opens (at full speed it would be over by then).
        slow_location_service(40)
        self.addCleanup(slow_location_service, None)
        with Program(EXE, DRIVER) as p:
            import_addresses(p, 400)
            p.cmd("toolbar 0")
            p.wait_until(lambda: p.cmd("cell 0 1"), 30)
            p.cmd("about-open")
            self.assertEqual(p.cmd("enabled main"), "0")
            filled = lambda: sum(1 for r in range(0, 400, 20) if p.cmd(f"cell {r} 1"))  # noqa: E731
            before = filled()
            self.assertTrue(p.wait_until(lambda: filled() > before, 30), "the list stopped filling")
            self.assertEqual(p.cmd("about-exists"), "1")
            p.cmd("toolbar 2")

    def test_closing_the_window_ends_the_program_at_once(self):
        with Program(EXE, DRIVER) as p:
            import_addresses(p, 400)
            p.cmd("toolbar 0")
            p.wait_until(lambda: p.cmd("cell 0 1"), 30)
            p.cmd("close-main")
            self.assertEqual(p.cmd("wait-exit 30000"), "0")


class AboutWindow(unittest.TestCase):
    def setUp(self):
        self.p = Program(EXE, DRIVER)

    def tearDown(self):
        self.p.close()

    def test_layout_and_modality(self):
        p = self.p
        p.cmd("about-open")
        check_frame(self, p, "about", (377, 340))
        self.assertEqual(p.cmd("get-text about"), "关于")
        self.assertEqual(p.cmd("owner about"), "none")
        for name, cls, caption, rect in ABOUT:
            with self.subTest(name=name):
                self.assertEqual(p.cmd(f"class {name}").lower(), cls.lower())
                self.assertEqual(p.cmd(f"parent {name}"), "about")
                self.assertEqual(p.cmd(f"get-text {name}").replace("\\r\\n", "\r\n"), caption)
                self.assertEqual(tuple(p.ints(f"rect {name}")), rect)
        self.assertEqual(tuple(p.ints("rect about:标签4")), (8, 256, 184, 24))
        # Its labels and its button, nothing more: the data files are named elsewhere.
        self.assertEqual(p.cmd("children about"), "6")
        self.assertTrue(p.cmd("get-text about:标签4").startswith("http"))
        style, _ = parse_style(p.cmd("style about:标签1"))
        self.assertEqual(style & SS_TYPE_MASK, SS_CENTER)
        style, _ = parse_style(p.cmd("style about:标签2"))
        self.assertEqual(style & (SS_TYPE_MASK | SS_CENTERIMAGE), 0)  # wraps from the top
        if SHOTS:
            p.screenshot("about", os.path.join(SHOTS, "about-window.png"))

        # The main window takes no input meanwhile: a real click and key go nowhere.
        self.assertEqual(p.cmd("enabled main"), "0")
        p.cmd("mouse-click 编辑框_IP地址")
        p.cmd("key a")
        time.sleep(1)
        self.assertEqual(p.cmd("get-text 编辑框_IP地址"), "")
        self.assertEqual(p.cmd("about-exists"), "1")

        # "确定" closes the about window only.
        p.cmd("mouse-click about:按钮1")
        p.cmd("wait-about-closed 30000")
        self.assertEqual(p.cmd("running"), "1")
        self.assertEqual(p.cmd("enabled main"), "1")
        # And the main window takes input again.
        p.cmd("mouse-click 编辑框_IP地址")
        self.assertTrue(p.wait_until(lambda: p.cmd("focus") == "编辑框_IP地址", 30))
        p.cmd("key a")
        self.assertTrue(p.wait_until(lambda: p.cmd("get-text 编辑框_IP地址").lower() == "a", 30))

    def test_real_clicks_on_the_toolbar(self):
        p = self.p
        for separator in (1, 3):
            p.cmd(f"mouse-toolbar {separator}")
        time.sleep(1)
        self.assertEqual(p.cmd("about-exists"), "0")
        self.assertEqual(p.cmd("status 1"), "就绪")
        p.cmd("mouse-toolbar 4")
        self.assertTrue(p.wait_until(lambda: p.cmd("about-exists") == "1", 30))

    def test_escape_closes_only_the_about_window(self):
        p = self.p
        p.cmd("about-open")
        p.cmd("mouse-click about:标签3")
        p.cmd("key esc")
        p.cmd("wait-about-closed 30000")
        time.sleep(0.5)
        self.assertEqual(p.cmd("running"), "1")
        self.assertEqual(p.cmd("enabled main"), "1")
        # It opens again, as often as asked.
        p.cmd("about-open")
        p.cmd("about-close")
        self.assertEqual(p.cmd("running"), "1")

    def test_link_opens_only_on_left_click(self):
        p = self.p
        p.cmd("about-open")
        address = p.cmd("get-text about:标签4")
        # The link shows a pointer of its own; the other labels show the same plain one.
        plain = p.cmd("cursor-over about:标签3")
        self.assertEqual(p.cmd("cursor-over about:标签5"), plain)
        self.assertNotEqual(p.cmd("cursor-over about:标签4"), plain)
        p.cmd("mouse-click about:标签4 right")
        time.sleep(2)
        self.assertEqual(p.opened_urls(), [])
        p.cmd("mouse-click about:标签4")
        self.assertEqual(p.wait_until(p.opened_urls, 30), [address])
        self.assertEqual(p.cmd("about-exists"), "1")  # the about window stays open


NO_DATA_FILES = "没有数据文件: 程序旁没有 ipdata.db, 也没有 asn.db"
ES_MULTILINE, ES_READONLY = 0x4, 0x800


class DataSources(unittest.TestCase):
    """The data files are named where the answers are looked at: the 统计 window and the
    list's 数据来源 (this program has none beside it; tests/e2e/offline_e2e.py has both)."""

    def test_stats_window_and_the_list_menu(self):
        with Program(EXE, DRIVER) as p:
            p.cmd("toolbar 8")
            self.assertTrue(p.wait_until(lambda: p.ask("class stats:编辑框_数据")[0], 30))
            self.assertEqual(p.ints("window-rect stats")[2:], [1048, 500])
            self.assertEqual(tuple(p.ints("rect stats:编辑框_数据")), (8, 392, 608, 72))
            _, _, width, client = p.ints("client-rect stats")
            self.assertLessEqual(392 + 72, client)
            # The map's place (624 to 1024) and the lines under it inside the window.
            self.assertLessEqual(1024, width)
            self.assertEqual(p.cmd("get-text stats:标签_无坐标"), "0 个地址没有坐标")
            style, _ = parse_style(p.cmd("style stats:编辑框_数据"))
            self.assertEqual(style & (ES_MULTILINE | ES_READONLY), ES_MULTILINE | ES_READONLY)
            self.assertEqual(p.cmd("get-text stats:编辑框_数据"), NO_DATA_FILES)
            if SHOTS:
                p.screenshot("stats", os.path.join(SHOTS, "stats-window-empty.png"))
            p.cmd("key esc")
            self.assertTrue(p.wait_until(lambda: "VerdaloStats" not in p.cmd("windows"), 10))

            # The menu's last entry, by its access key, after 复制 and 粘贴.
            p.cmd("mouse-click 超级列表框_查询列表 right")
            p.cmd("key d")
            self.assertEqual(p.cmd("box-caption"), "数据来源")
            self.assertEqual(p.cmd("answer-box ok"), NO_DATA_FILES)
            self.assertEqual(p.cmd("rows"), "0")


class Ending(unittest.TestCase):
    def test_escape_in_an_edit_box_ends_the_program(self):
        for box in ("编辑框_IP地址", "编辑框_结果"):
            with self.subTest(box=box), Program(EXE, DRIVER) as p:
                p.cmd(f"mouse-click {box}")
                self.assertEqual(p.wait_until(lambda: p.cmd("focus") == box, 30), True)
                # Enter neither moves the focus nor ends anything; the multi-line box takes it.
                p.cmd("key enter")
                expected = "\\r\\n" if box == "编辑框_结果" else ""
                time.sleep(1)
                self.assertTrue(p.wait_until(lambda: p.cmd(f"get-text {box}") == expected, 30))
                self.assertEqual(p.cmd("focus"), box)
                p.cmd("key esc")
                self.assertEqual(p.cmd("wait-exit 30000"), "0")

    def test_a_main_window_that_cannot_be_created_is_fatal(self):
        if not FAILING:
            self.skipTest("VERDALO_FAILING not set")
        program = subprocess.Popen(["wine", FAILING], env=wine_env(), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        driver = Driver(DRIVER)
        try:
            driver.cmd("attach-box 错误 30000")
            self.assertEqual(driver.cmd("box-text"), "运行时出错!\\r\\n\\r\\n错误信息：载入启动窗口失败\\r\\n")
            driver.cmd("answer-box ok")
            self.assertEqual(driver.cmd("wait-exit 30000"), "-1")
        finally:
            driver.close()
            if program.poll() is None:
                program.kill()
            program.wait()

    def test_closing_the_main_window_ends_the_program(self):
        with Program(EXE, DRIVER) as p:
            p.cmd("close-main")
            self.assertEqual(p.cmd("wait-exit 30000"), "0")


if __name__ == "__main__":
    if not (EXE and DRIVER):
        sys.exit("set VERDALO_EXE and VERDALO_DRIVER")
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
    prepare_prefix()
    unittest.main(verbosity=2)
