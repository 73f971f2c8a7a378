#!/usr/bin/env python3
"""Each library and program links every library of ours whose headers it
includes, and includes something of every library of ours it links: the
build's graph is the code's. And no part of the viewer includes its window."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
libraries = {"base", "dictionary", "archive", "images", "editing", "export", "viewer", "shell", "words"}
# The folders whose targets are checked, and the target each folder's code makes.
targets = {
    "dictionary": "kelmora_dictionary", "archive": "kelmora_archive", "images": "kelmora_images",
    "editing": "kelmora_editing", "export": "kelmora_export", "viewer": "kelmora_viewer",
    "shell": "kelmora_shell", "words": "kelmora_words", "cli": "kelmora-cli",
    "thumbnailer": "kelmora-thumbnailer",
}
failed = False
for folder, target in targets.items():
    sources = [p for p in (root / folder).iterdir() if p.suffix in (".cpp", ".h")]
    included = set()
    for p in sources:
        included |= set(re.findall(r'#include "([a-z_]+)/', p.read_text(encoding="utf-8")))
    included = (included & libraries) - {folder}
    cmake = (root / folder / "CMakeLists.txt").read_text(encoding="utf-8")
    linked = set()
    for call in re.findall(r"target_link_libraries\(\s*" + re.escape(target) + r"\b([^)]*)\)", cmake):
        linked |= set(re.findall(r"\bkelmora_([a-z]+)\b", call))
    linked &= libraries
    if included - linked:
        print(f"{target}: includes {sorted(included - linked)} without linking them")
        failed = True
    if linked - included:
        print(f"{target}: links {sorted(linked - included)} without including them")
        failed = True
# The window is the top of the viewer: its parts never include it (that would be
# a cycle), and only the program's start-up makes one.
for p in sorted((root / "viewer").iterdir()):
    if p.suffix in (".cpp", ".h") and p.stem != "KelmoraU" and '#include "viewer/KelmoraU.h"' in p.read_text(encoding="utf-8"):
        print(f"viewer/{p.name} includes the window (viewer/KelmoraU.h); only main.cpp may")
        failed = True
sys.exit(1 if failed else 0)
