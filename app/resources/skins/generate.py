#!/usr/bin/env python3
"""Writes the window's 25 skins (NN.qss beside this file) from the table below.

Run it after changing a theme; the .qss files are what the program carries.
Every skin keeps both edit boxes black text on white.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent

# number, name, window top, window bottom, text, accent, button, button text,
# corner radius, button look ("gloss", "flat" or "bevel"), frame width
THEMES = [
    (1, "青瓷", "#e6f2ee", "#c9e2da", "#20403a", "#3f8f7f", "#d7ebe5", "#1d3b35", 4, "gloss", 1),
    (2, "墨竹", "#f1f1ec", "#d9dbd2", "#262a24", "#4f7a3a", "#e4e6dd", "#1f241c", 0, "flat", 1),
    (3, "夜空", "#1b2440", "#0c1226", "#dfe6ff", "#f2c14e", "#2c3a66", "#f3f5ff", 5, "gloss", 1),
    (4, "琥珀", "#fbeccb", "#f0cf8a", "#4a2e05", "#c9780a", "#f7d796", "#3f2604", 6, "gloss", 1),
    (5, "樱花", "#fff0f4", "#f8d4de", "#5a2435", "#d9577b", "#fbdde6", "#4f1d2d", 8, "gloss", 1),
    (6, "松烟", "#3b3d40", "#2a2b2e", "#e7e7e2", "#9fbf8f", "#505357", "#f0f0ea", 2, "flat", 1),
    (7, "海蓝", "#dcecfb", "#a9cdf0", "#0f2d4d", "#1f6fc0", "#c4ddf6", "#0d2a47", 4, "gloss", 1),
    (8, "秋枫", "#fbe6d8", "#eeb597", "#4d1d0a", "#c2461b", "#f6c9ae", "#451806", 3, "bevel", 2),
    (9, "雪原", "#ffffff", "#e8f0f6", "#23313d", "#5d8fb8", "#f2f6fa", "#22303c", 2, "flat", 1),
    (10, "紫藤", "#eee6f7", "#d4c2ea", "#35214f", "#7d52b5", "#e0d3f0", "#2f1c47", 6, "gloss", 1),
    (11, "沙漠", "#f5e9d3", "#e4cfa5", "#4b3a1c", "#b0823a", "#ecdcb8", "#433317", 1, "bevel", 2),
    (12, "翡翠", "#e1f4e6", "#a9dcb8", "#123d22", "#1f9152", "#c6ead0", "#103a1f", 5, "gloss", 1),
    (13, "玄铁", "#4a4f57", "#2d3036", "#eef1f5", "#7fa7d6", "#5d646e", "#f4f6f9", 0, "bevel", 2),
    (14, "朱砂", "#fbf3e6", "#f1dcc0", "#4a140c", "#c0392b", "#f3d9c4", "#4a140c", 2, "flat", 1),
    (15, "湖光", "#def3f3", "#a6d8da", "#0d3a3d", "#16878c", "#c3e7e8", "#0b3538", 6, "gloss", 1),
    (16, "宣纸", "#f8f4e8", "#eee6cf", "#1f1c16", "#3b3a36", "#f3edd9", "#1f1c16", 0, "flat", 1),
    (17, "晚霞", "#ffd9b3", "#c98bb9", "#3d1a33", "#d2553c", "#ffe3c7", "#3d1a33", 7, "gloss", 1),
    (18, "薄荷", "#eefbf5", "#c8efdc", "#163a2c", "#2bb07a", "#daf5e8", "#143528", 9, "flat", 1),
    (19, "星河", "#2a1f4a", "#120d26", "#ece6ff", "#b48cff", "#3d2f6b", "#f5f0ff", 6, "gloss", 1),
    (20, "古铜", "#e9d7bf", "#b98f63", "#3a230d", "#8a5a2b", "#dcc09b", "#331f0b", 2, "bevel", 2),
    (21, "烟雨", "#e7ecf0", "#c4cfd8", "#27343f", "#5f7d95", "#d8e0e7", "#24313b", 3, "flat", 1),
    (22, "橄榄", "#eef0d9", "#cfd4a3", "#30361a", "#6d7a2a", "#e0e4bd", "#2b3017", 4, "bevel", 1),
    (23, "天青", "#eaf4fb", "#c7e0f2", "#163047", "#2f7fbf", "#dcecf8", "#12304a", 4, "gloss", 1),
    (24, "石墨", "#303338", "#1f2226", "#e3e6ea", "#4fa3e0", "#41454c", "#eef1f4", 4, "flat", 1),
    (25, "金秋", "#fff3cf", "#f0c860", "#4a3300", "#b8860b", "#fbe3a0", "#402c00", 5, "gloss", 1),
]


def rgb(hex_colour):
    return tuple(int(hex_colour[i:i + 2], 16) for i in (1, 3, 5))


def hexc(values):
    return "#%02x%02x%02x" % tuple(max(0, min(255, round(v))) for v in values)


def mix(a, b, t):
    """The colour t of the way from a to b."""
    return hexc(x + (y - x) * t for x, y in zip(rgb(a), rgb(b)))


def luminance(colour):
    r, g, b = rgb(colour)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def rgba(colour, alpha):
    r, g, b = rgb(colour)
    return "rgba(%d, %d, %d, %d)" % (r, g, b, alpha)


def gradient(top, bottom):
    return "qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %s, stop:1 %s)" % (top, bottom)


def button_fill(base, look, dark):
    light_end = "#000000" if dark else "#ffffff"
    if look == "flat":
        return base
    if look == "bevel":
        return gradient(mix(base, light_end, 0.25), mix(base, "#000000", 0.12))
    # gloss: a bright upper half over the base colour
    return ("qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %s, stop:0.49 %s, "
            "stop:0.5 %s, stop:1 %s)" % (mix(base, "#ffffff", 0.55), mix(base, "#ffffff", 0.2),
                                         base, mix(base, "#000000", 0.06)))


def skin(number, name, top, bottom, text, accent, button, button_text, radius, look, frame):
    dark = luminance(mix(top, bottom, 0.5)) < 110
    strong = mix(accent, "#000000", 0.25)
    frame_colour = mix(accent, top, 0.35) if not dark else mix(accent, bottom, 0.45)
    group_fill = rgba("#ffffff", 70) if not dark else rgba("#ffffff", 14)
    edit_border = mix(accent, "#808080", 0.45)
    disabled_fill = mix(button, "#9a9a9a", 0.45)
    disabled_text = mix(button_text, disabled_fill, 0.6)
    link = accent if not dark else mix(accent, "#ffffff", 0.2)
    link_hover = strong if not dark else mix(accent, "#ffffff", 0.5)
    bevel = ("border-top-color: %s; border-left-color: %s;" %
             (mix(button, "#ffffff", 0.6), mix(button, "#ffffff", 0.6))) if look == "bevel" else ""
    tick = "tick-dark.png" if luminance(accent) > 150 else "tick-light.png"
    title_fill = mix(top, bottom, 0.1)
    return f"""/* {number:02d} {name} — a skin of QirvoMorvalin (written by generate.py) */

qm--MainWindow {{
  background: {gradient(top, bottom)};
}}

QLabel {{
  color: {text};
  background: transparent;
}}

qm--Hyperlink {{
  color: {link};
}}
qm--Hyperlink:hover {{
  color: {link_hover};
}}
qm--Hyperlink:focus {{
  background: {rgba(accent, 40)};
}}

QGroupBox {{
  color: {text};
  background: {group_fill};
  border: {frame}px solid {frame_colour};
  border-radius: {radius}px;
  margin-top: 7px;
}}
QGroupBox::title {{
  subcontrol-origin: margin;
  subcontrol-position: top left;
  left: 8px;
  padding: 0px 3px;
  color: {strong if not dark else mix(accent, "#ffffff", 0.35)};
  background: {title_fill};
  border-radius: {min(radius, 3)}px;
}}

QPushButton {{
  color: {button_text};
  background: {button_fill(button, look, dark)};
  border: {frame}px solid {mix(button, "#000000", 0.35)};
  {bevel}
  border-radius: {radius}px;
  padding: 2px 6px;
}}
QPushButton:focus {{
  border-color: {accent};
}}
QPushButton:hover {{
  background: {button_fill(mix(button, accent, 0.22), look, dark)};
  border-color: {accent};
}}
QPushButton:pressed {{
  background: {mix(button, accent, 0.45)};
  border-color: {strong};
  padding-top: 3px;
  padding-left: 7px;
}}
QPushButton:disabled {{
  color: {disabled_text};
  background: {disabled_fill};
  border-color: {mix(disabled_fill, "#000000", 0.2)};
}}

QLineEdit, QPlainTextEdit {{
  color: #000000;
  background: #ffffff;
  border: 1px solid {edit_border};
  border-radius: {min(radius, 3)}px;
  selection-color: #ffffff;
  selection-background-color: {accent};
}}
QLineEdit {{
  padding: 0px 2px;
}}
QLineEdit:hover, QPlainTextEdit:hover {{
  border-color: {mix(accent, edit_border, 0.4)};
}}
QLineEdit:focus, QPlainTextEdit:focus {{
  border-color: {accent};
}}
QLineEdit:disabled, QPlainTextEdit:disabled {{
  color: #000000;
  background: #ffffff;
  border-color: {mix(edit_border, "#ffffff", 0.5)};
}}

QScrollBar:vertical {{
  width: 12px;
  margin: 0px;
  background: {mix(accent, "#ffffff", 0.85)};
  border: none;
}}
QScrollBar::handle:vertical {{
  min-height: 24px;
  margin: 2px;
  border-radius: {min(radius, 4)}px;
  background: {mix(accent, "#ffffff", 0.4)};
}}
QScrollBar::handle:vertical:hover {{
  background: {accent};
}}
QScrollBar::handle:vertical:pressed {{
  background: {strong};
}}
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {{
  height: 0px;
}}
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {{
  background: none;
}}

QCheckBox {{
  color: {text};
  spacing: 4px;
}}
QCheckBox::indicator {{
  width: 12px;
  height: 12px;
  background: #ffffff;
  border: 1px solid {edit_border};
  border-radius: {min(radius, 2)}px;
}}
QCheckBox::indicator:hover {{
  border-color: {accent};
}}
QCheckBox::indicator:checked {{
  background: {accent};
  border-color: {strong};
  image: url(:/skins/{tick});
}}
QCheckBox::indicator:disabled {{
  background: {mix(disabled_fill, "#ffffff", 0.5)};
  border-color: {disabled_fill};
}}
QCheckBox:disabled {{
  color: {disabled_text};
}}
"""


def main():
    assert [t[0] for t in THEMES] == list(range(1, 26))
    for theme in THEMES:
        (HERE / ("%02d.qss" % theme[0])).write_text(skin(*theme), encoding="utf-8")


if __name__ == "__main__":
    main()
