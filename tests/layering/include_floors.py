#!/usr/bin/env python3
"""Checks that every include between the program's libraries follows a link: a file may include a
header of its own library or of one its library links (directly or through others), never one above.
The libraries, their files and their links are read from the CMakeLists.txt of each folder.
With --arrows it prints how many includes run from each folder to each other folder."""
import os
import re
import sys

FOLDERS = ['resources', 'core', 'download', 'maker', 'viewer', 'mail', 'app']
TARGET = re.compile(r'add_(?:library|executable)\((\w+)(?:\s+(?:STATIC|SHARED|MODULE))?\s+([^)]*)\)', re.S)
LINKS = re.compile(r'target_link_libraries\((\w+)\s+([^)]*)\)', re.S)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def read_targets(root):
    owner, links = {}, {}
    for folder in FOLDERS:
        text = open(os.path.join(root, folder, 'CMakeLists.txt'), encoding='utf-8').read()
        text = re.sub(r'#.*', '', text)
        for name, files in TARGET.findall(text):
            for f in files.split():
                if f.endswith(('.cpp', '.h', '.in')):
                    owner[folder + '/' + f.removesuffix('.in')] = name
            links.setdefault(name, set())
        for name, libs in LINKS.findall(text):
            links.setdefault(name, set()).update(l for l in libs.split() if l.startswith('pelmor'))
    return owner, links


def reachable(links, name, seen=None):
    seen = set() if seen is None else seen
    for lib in links.get(name, ()):
        if lib not in seen:
            seen.add(lib)
            reachable(links, lib, seen)
    return seen


def includes(root):
    for folder in FOLDERS:
        for f in sorted(os.listdir(os.path.join(root, folder))):
            if f.endswith(('.cpp', '.h')):
                path = folder + '/' + f
                for header in INCLUDE.findall(open(os.path.join(root, path), encoding='utf-8').read()):
                    yield path, header


def main():
    root = sys.argv[-1]
    owner, links = read_targets(root)
    if '--arrows' in sys.argv:
        arrows = {}
        for path, header in includes(root):
            a, b = path.split('/')[0], header.split('/')[0]
            if a != b and b in FOLDERS:
                arrows[(a, b)] = arrows.get((a, b), 0) + 1
        for (a, b), n in sorted(arrows.items()):
            print(f'{a} -> {b}: {n}')
        return 0
    faults = []
    for path, header in includes(root):
        if header.split('/')[0] not in FOLDERS:
            continue
        if path not in owner:
            faults.append(f'{path}: belongs to no library')
            continue
        if header not in owner:
            faults.append(f'{path}: includes "{header}", which belongs to no library')
            continue
        mine, theirs = owner[path], owner[header]
        if mine != theirs and theirs not in reachable(links, mine):
            faults.append(f'{path} ({mine}) includes "{header}" of {theirs}, which {mine} does not link')
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
