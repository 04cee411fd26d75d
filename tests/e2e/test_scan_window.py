"""The scan window: what it shows on opening, and every way of closing it.

Port 80 is held pending in these tests (its packets are dropped), so the probe's first connect
never returns: the window stays in its probing state, and closing it abandons a connect that is
still outstanding."""

import time

from harness import CAPTION

PORT_LABEL, CLOSE_BUTTON, STATUS_BAR = 1010, 2, 1009
LINK_LABELS = (1012, 1013)
BOXES = {1001: "127.0.0.1", 1002: "80", 1003: "10000", 1004: "1"}
HIDDEN_BUTTONS = {1005: "Scan", 1006: "Stop", 1007: "ClearList"}
LIST_BOX = 1008

# Designed places at 96 dpi, in pixels of the client area: left, top, width, height.
PORT_LABEL_RECT = [24, 48, 313, 25]
CLOSE_BUTTON_RECT = [288, 144, 73, 25]
CLIENT_SIZE = [369, 196]
STATUS_PANEL_WIDTH = 333
COUNTER_AT_81 = "当前端口： 81"


def open_window(s):
    s.hold_pending(80)
    program = s.start()
    window, controls = s.window()
    return program, window, controls


def test_window_frame_caption_and_icon(s):
    program, window, _ = open_window(s)
    assert window["title"] == CAPTION
    assert window["client"] == CLIENT_SIZE, window
    assert not window["thickframe"], "the window can be resized"
    assert not window["minimizebox"], "the window has a minimize box"
    assert not window["maximizebox"], "the window has a maximize box"
    assert window["sysmenu"], "the window has no system menu"
    # Wine does not answer WM_GETICON from another process; the class icon comes from the
    # executable's first icon group, which must hold a 32x32 and a 16x16 image of 16 colours.
    assert sorted(map(tuple, window["exe_icons"])) == [(16, 16, 16), (32, 32, 16)], window
    s.close()
    assert program.wait_exit() == 0


def test_opens_with_exactly_port_label_close_button_and_status_bar(s):
    program, window, controls = open_window(s)
    visible = sorted(i for i, c in controls.items() if c["visible"])
    assert visible == sorted([PORT_LABEL, CLOSE_BUTTON, STATUS_BAR]), controls

    label = controls[PORT_LABEL]
    assert label["text"] == "当前可用端口号：" and label["enabled"], label
    assert label["rect"] == PORT_LABEL_RECT, label
    button = controls[CLOSE_BUTTON]
    assert button["class"] == "Button" and button["text"] == "关闭(&C)", button
    assert button["rect"] == CLOSE_BUTTON_RECT, button
    # The focus lands on the close button as the window is shown.
    s.wait_window(lambda w, _: w["focus_id"] == CLOSE_BUTTON, "the focus on the close button")

    bar = controls[STATUS_BAR]
    assert bar["class"] == "msctls_statusbar32", bar
    left, top, width, height = bar["rect"]
    assert (left, width) == (0, CLIENT_SIZE[0]), f"status bar not across the full width: {bar}"
    assert top + height == CLIENT_SIZE[1], f"status bar not at the bottom: {bar}"
    status = s.status()
    assert status["parts"] == [STATUS_PANEL_WIDTH], status
    # The panel starts empty; the first 10 ms tick may already have written the counter.
    assert status["texts"] in ([""], [COUNTER_AT_81]), status

    for link in LINK_LABELS:
        assert not controls[link]["visible"] and not controls[link]["enabled"], controls[link]
    for box, text in BOXES.items():
        assert controls[box]["class"] == "Edit" and controls[box]["text"] == text, controls[box]
    for hidden, text in HIDDEN_BUTTONS.items():
        assert controls[hidden]["text"] == text and not controls[hidden]["visible"]
        assert controls[hidden]["rect"][1] >= CLIENT_SIZE[1], "a hidden button lies in the window"
    assert controls[LIST_BOX]["class"] == "ListBox"
    s.close()
    assert program.wait_exit() == 0


def test_status_bar_shows_counter_while_probing(s):
    program, _, controls = open_window(s)
    s.wait_status(lambda status: status["texts"] == [COUNTER_AT_81], repr(COUNTER_AT_81))
    # Still probing port 80: nothing found, nothing shown.
    _, controls = s.window()
    assert controls[PORT_LABEL]["text"] == "当前可用端口号：", controls[PORT_LABEL]
    assert not any(controls[link]["visible"] for link in LINK_LABELS), controls
    # A click notification that reaches a link label before a port is known opens nothing.
    for link in LINK_LABELS:
        s.click(link)
    time.sleep(1.5)  # a browser launch would have reached the xdg-open stub by now
    assert s.opened_addresses() == [], s.opened_addresses()
    s.close()
    assert program.wait_exit() == 0


def test_tab_never_leaves_the_close_button(s):
    program, _, _ = open_window(s)
    s.wait_window(lambda w, _: w["focus_id"] == CLOSE_BUTTON, "the focus on the close button")
    for press in range(1, 15):  # more presses than there are controls
        s.key("tab")
        window, _ = s.window()
        assert window["focus_id"] == CLOSE_BUTTON, f"after {press} Tab presses: {window}"
    s.close()
    assert program.wait_exit() == 0


def expect_closed_by(s, action):
    program, _, _ = open_window(s)
    action()
    s.wait_gone(CAPTION)
    assert program.wait_exit() == 0


def test_close_button_ends_program(s):
    expect_closed_by(s, lambda: s.click(CLOSE_BUTTON))


def test_alt_c_ends_program(s):
    expect_closed_by(s, lambda: s.key("alt-c"))


def test_escape_ends_program(s):
    expect_closed_by(s, lambda: s.key("esc"))


def test_close_box_ends_program(s):
    expect_closed_by(s, s.close)
