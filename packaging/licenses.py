#!/usr/bin/env python3
"""Writes the licences/ folder of the Windows zip from the notices that the
installed Debian packages carry, so they always match what was linked:

  vornby.txt               Vornby itself (the project's LICENSE, MIT)
  Inter-font-OFL-1.1.txt   the font (fonts-inter's copyright)
  stb.txt                  stb_truetype, stb_image, stb_sprintf (the headers' own notice)
  mingw-w64-runtime.txt    the MinGW-w64 C runtime and winpthreads (mingw-w64-common's copyright)
  gcc-runtime.txt          libgcc and libstdc++ (GPL 3 with the GCC Runtime Library Exception)

usage: licenses.py OUTPUT_FOLDER     (standard library only; CRLF line ends for Notepad)
"""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOC = "/usr/share/doc"
STB_HEADER = "/usr/include/stb/stb_truetype.h"
GPL3 = "/usr/share/common-licenses/GPL-3"


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def dep5_license(text, name):
    """The text of a stand-alone 'License: name' paragraph, unindented."""
    match = re.search(r"^License: %s\n((?: .*\n?)+)" % re.escape(name), text, re.M)
    if not match:
        raise SystemExit("licenses.py: no %s licence paragraph found" % name)
    lines = [line[1:] for line in match.group(1).splitlines()]
    return "\n".join("" if line == "." else line for line in lines) + "\n"


def vornby():
    return "Vornby itself is licensed under the MIT License:\n\n" + read(os.path.join(ROOT, "LICENSE"))


def font():
    copyright_file = read(os.path.join(DOC, "fonts-inter", "copyright"))
    holder = re.search(r"^Files: \*\nCopyright: (.*)$", copyright_file, re.M).group(1)
    return ("font.otf is Inter (Regular), https://rsms.me/inter/\n\n"
            "Copyright (c) %s\n\n"
            "This Font Software is licensed under the SIL Open Font License, Version 1.1.\n\n"
            "SIL OPEN FONT LICENSE Version 1.1 - 26 February 2007\n\n%s"
            % (holder, dep5_license(copyright_file, "OFL-1.1")))


def stb():
    header = read(STB_HEADER)
    start = header.rindex("This software is available under 2 licenses")
    end = header.index("*/", start)
    notice = header[start:end].rstrip("-\n") + "\n"
    return ("vornby.exe contains stb_truetype, stb_image and stb_sprintf by Sean Barrett\n"
            "and contributors, https://github.com/nothings/stb\n\n" + notice)


def mingw():
    return ("vornby.exe is linked statically with the MinGW-w64 C runtime and its\n"
            "winpthreads library, https://www.mingw-w64.org/. Their copyright and\n"
            "licences, as Debian's mingw-w64 packages record them, follow; the\n"
            "paragraphs for mingw-w64-crt/* and mingw-w64-libraries/winpthreads/*\n"
            "are the parts that are linked in.\n\n"
            + read(os.path.join(DOC, "mingw-w64-common", "copyright")))


def gcc():
    copyright_file = read(os.path.join(DOC, "gcc-mingw-w64-base", "copyright"))
    start = copyright_file.index("GCC RUNTIME LIBRARY EXCEPTION")
    end = copyright_file.index("2. No Weakening of GCC Copyleft.", start)
    end = copyright_file.index("\n\n\n", end)
    return ("vornby.exe is linked statically with GCC's runtime libraries (libgcc,\n"
            "libstdc++), https://gcc.gnu.org/. They are licensed under the GNU General\n"
            "Public License, version 3, with the GCC Runtime Library Exception, which\n"
            "allows programs compiled with GCC to be distributed under terms of their\n"
            "own choice. Both texts follow.\n\n"
            + copyright_file[start:end] + "\n\n\n" + read(GPL3))


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: licenses.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    files = {"vornby.txt": vornby(), "Inter-font-OFL-1.1.txt": font(), "stb.txt": stb(),
             "mingw-w64-runtime.txt": mingw(), "gcc-runtime.txt": gcc()}
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()
