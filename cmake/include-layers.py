#!/usr/bin/env python3
"""Fails on an #include that runs against the layers the build links.

Usage: include-layers.py TOP GRAPH

GRAPH is what cmake/include-layers.cmake writes from the targets that the
CMakeLists.txt files declare: per target, its type, the targets of this tree
it links and its sources. A file's layer is its folder under TOP (foundation,
app, resources, bench, ...), or tests/<folder> below tests. A target's
layers are those of its own sources and of the sources of every target it
links, directly or through others; a target with sources in tests/ may also
use the test helpers of those layers (tests/<layer>).

The rules:
- every file of a library's folder (the one folder its sources share, outside
  tests/) includes only the library's layers: foundation only foundation,
  skin only skin and what skin links, ...;
- the sources of every target, with every header of this tree they reach,
  include only the target's layers: a header is held to each target that
  compiles it (a header-only helper of tests/support may include engine/ as
  long as every test program using it links engine);
- a header that no target compiles is held to the targets built from its
  folder;
- anywhere, a file may include its own folder; resources/ (the programs'
  templates and the ids beside them) serves every layer but foundation.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = ('.h', '.hpp', '.c', '.cpp', '.rc')
# The class library includes nothing of the product, not even its ids.
BASE_LAYER = 'foundation'
IDS_LAYER = 'resources'


def layer_of(path):
    parts = path.split('/')
    if parts[0] == 'tests' and len(parts) > 2:
        return 'tests/' + parts[1]
    return parts[0]


class Target:
    def __init__(self, line):
        self.name, self.type, links, sources = line.split('\t')
        self.links = [name for name in links.split(';') if name]
        self.sources = [path for path in sources.split(';') if path]
        self.folders = {layer_of(path) for path in self.sources}


def read_graph(path):
    with open(path, encoding='utf-8') as lines:
        targets = [Target(line.rstrip('\n')) for line in lines if line.strip()]
    return {target.name: target for target in targets}


def layers_of(graph, name):
    """The layers the target may include."""
    layers = set()
    todo, seen = [name], set()
    while todo:
        current = todo.pop()
        if current not in seen:
            seen.add(current)
            layers |= graph[current].folders
            todo.extend(graph[current].links)
    if any(folder.startswith('tests/') for folder in graph[name].folders):
        layers |= {'tests/' + layer for layer in list(layers) if '/' not in layer}
    return layers


def tree_files(top):
    """Every source and header below the top's folders, relative to top."""
    found = []
    for folder, subfolders, files in os.walk(top):
        relative = os.path.relpath(folder, top).replace(os.sep, '/')
        if relative == '.':
            subfolders[:] = [name for name in subfolders if name not in ('build', '.git')]
            continue
        subfolders.sort()
        found.extend(relative + '/' + name for name in sorted(files)
                     if name.endswith(SOURCE_SUFFIXES))
    return found


def includes_of(top, path):
    """[(line number, the name as written, the file of the tree or None)]"""
    found = []
    with open(os.path.join(top, path), encoding='latin-1') as lines:
        for number, line in enumerate(lines, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            written = match.group(2)
            # A quoted name is looked for beside the file first; both forms
            # then below the top folder, which every target has on its path.
            candidates = [written]
            if match.group(1) == '"':
                candidates.insert(0, os.path.dirname(path) + '/' + written)
            resolved = None
            for candidate in candidates:
                candidate = os.path.normpath(candidate).replace(os.sep, '/')
                if (candidate.split('/')[0] not in ('..', 'build') and
                        os.path.isfile(os.path.join(top, candidate))):
                    resolved = candidate
                    break
            found.append((number, written, resolved))
    return found


def main():
    top, graph_path = sys.argv[1], sys.argv[2]
    graph = read_graph(graph_path)
    libraries = {}
    for target in graph.values():
        if target.type == 'STATIC_LIBRARY' and len(target.folders) == 1:
            folder = next(iter(target.folders))
            if not folder.startswith('tests/'):
                libraries.setdefault(folder, []).append(target.name)
    if BASE_LAYER not in libraries:
        print('include layers: no library builds from %s/ in %s' % (BASE_LAYER, graph_path))
        return 2
    layers = {name: layers_of(graph, name) for name in graph}
    files = tree_files(top)
    includes = {path: includes_of(top, path) for path in files}
    faults = {}

    def check(path, rule, allowed):
        """The files of the tree the file may include."""
        own = layer_of(path)
        fine = []
        for number, written, resolved in includes[path]:
            if resolved is None:
                continue
            layer = layer_of(resolved)
            if layer == own or layer in allowed or (layer == IDS_LAYER and own != BASE_LAYER):
                fine.append(resolved)
            elif (path, number) not in faults:
                faults[(path, number)] = '%s:%d: includes %s, against %s (may include: %s)' % (
                    path, number, written, rule, ', '.join(sorted(allowed)))
        return fine

    for folder, names in sorted(libraries.items()):
        for name in names:
            for path in files:
                if layer_of(path) == folder:
                    check(path, 'the links of %s' % name, layers[name])

    compiled = set()
    for name, target in sorted(graph.items()):
        todo = [(path, path) for path in target.sources if path in includes]
        reached = set()
        while todo:
            path, source = todo.pop()
            if path in reached:
                continue
            reached.add(path)
            rule = 'the links of %s, which compiles it' % name
            if path != source:
                rule += ' for %s' % source
            # What a wrong include brings in is not followed: its own
            # includes would only repeat the fault.
            todo.extend((fine, source) for fine in check(path, rule, layers[name]))
        compiled |= reached

    for path in files:
        builders = [name for name, target in graph.items() if layer_of(path) in target.folders]
        if path not in compiled and builders:
            allowed = set().union(*(layers[name] for name in builders))
            check(path, 'the links of the targets built from %s/' % layer_of(path), allowed)

    for fault in sorted(faults.values()):
        print(fault)
    print('include layers: %d files of %d targets, %d includes against the graph' % (
        len(files), len(graph), len(faults)))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
