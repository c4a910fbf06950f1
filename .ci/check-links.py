#!/usr/bin/env python3
"""Fails on a dead relative link in the tree's Markdown files.

Every tracked .md file (README.md, CHANGELOG.md, docs/*.md, ...) is read;
each relative link, [text](target) or ![alt](target), must name a file or
folder that exists, and a #anchor must name a heading of the target (or of
the same file) as GitHub makes anchors of headings: lowercase, punctuation
removed, spaces to '-', a repeated heading gets -1, -2, ... Links to other
sites (http:, https:, mailto:) are not followed. Code (fenced blocks and
`spans`) is not read for links.

  check-links.py [ROOT]     check ROOT (default: the tree this file is in)
  check-links.py --self-test
"""
import os
import re
import subprocess
import sys
import tempfile

LINK = re.compile(r'!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)')
REFERENCE = re.compile(r'^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$')
HEADING = re.compile(r'^\s{0,3}(#{1,6})\s+(.*?)\s*#*\s*$')
HTML_ANCHOR = re.compile(r'<a\s+[^>]*(?:name|id)\s*=\s*"([^"]+)"', re.IGNORECASE)
CODE_SPAN = re.compile(r'(`+)(.+?)\1')
FENCE = re.compile(r'^\s{0,3}(`{3,}|~{3,})')
SCHEME = re.compile(r'^[a-zA-Z][a-zA-Z0-9+.-]*:')


def slug(heading):
    """The anchor GitHub makes of a heading's text."""
    text = CODE_SPAN.sub(lambda m: m.group(2), heading)
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', text)  # a link keeps its text
    text = re.sub(r'<[^>]+>', '', text)  # inline HTML
    text = text.strip().lower()
    text = ''.join(c for c in text if c.isalnum() or c in ' -_')
    return text.replace(' ', '-')


def lines_outside_code(text):
    """(line number, line) of the lines outside fenced code blocks."""
    fence = None
    for number, line in enumerate(text.split('\n'), 1):
        m = FENCE.match(line)
        if fence:
            if m and m.group(1)[0] == fence[0] and len(m.group(1)) >= len(fence):
                fence = None
            continue
        if m:
            fence = m.group(1)
            continue
        yield number, line


def anchors_of(path, cache):
    if path not in cache:
        with open(path, encoding='utf-8') as f:
            text = f.read()
        found, seen = set(), {}
        for _, line in lines_outside_code(text):
            m = HEADING.match(line)
            if m:
                base = slug(m.group(2))
                n = seen.get(base, 0)
                seen[base] = n + 1
                found.add(base if n == 0 else '%s-%d' % (base, n))
            for a in HTML_ANCHOR.findall(line):
                found.add(a)
        cache[path] = found
    return cache[path]


def links_of(text):
    """(line number, target) of every link outside code, in line order; a
    link's text may run over several lines of its paragraph."""
    return sorted(paragraph_links(text), key=lambda link: link[0])


def paragraph_links(text):
    paragraph, first, previous = [], 0, -1

    def links_in(lines, first):
        block = '\n'.join(lines)
        for m in LINK.finditer(block):
            yield first + block.count('\n', 0, m.start()), m.group(1)

    for number, line in lines_outside_code(text):
        bare = CODE_SPAN.sub('', line)
        m = REFERENCE.match(bare)
        if m:
            yield number, m.group(1)
            continue
        if not bare.strip() or number != previous + 1:
            yield from links_in(paragraph, first)
            paragraph, first = [], number
        if bare.strip():
            if not paragraph:
                first = number
            paragraph.append(bare)
        previous = number
    yield from links_in(paragraph, first)


def markdown_files(root):
    try:
        out = subprocess.run(['git', '-C', root, 'ls-files', '-z', '--cached', '--others',
                              '--exclude-standard', '--', '*.md'],
                             check=True, capture_output=True).stdout.decode('utf-8')
        files = [f for f in out.split('\0') if f]
        if files:
            return sorted(files)
    except (OSError, subprocess.CalledProcessError):
        pass
    # Not a git checkout: every .md file outside the build folders.
    files = []
    for folder, dirs, names in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith('.') and d not in ('build', 'node_modules')]
        files += [os.path.relpath(os.path.join(folder, n), root) for n in names if n.endswith('.md')]
    return sorted(files)


def check(root, files):
    """The dead links, as 'file:line: target: why'."""
    dead, cache = [], {}
    checked = 0
    for name in files:
        path = os.path.join(root, name)
        with open(path, encoding='utf-8') as f:
            text = f.read()
        for number, target in links_of(text):
            if not target or SCHEME.match(target) or target.startswith('//'):
                continue
            checked += 1
            file_part, _, anchor = target.partition('#')
            if file_part.startswith('/'):
                resolved = os.path.join(root, file_part.lstrip('/'))
            elif file_part:
                resolved = os.path.join(os.path.dirname(path), file_part)
            else:
                resolved = path
            resolved = os.path.normpath(resolved)
            where = '%s:%d: %s' % (name, number, target)
            if not os.path.exists(resolved):
                dead.append(where + ': no such file')
            elif anchor and resolved.endswith('.md') and os.path.isfile(resolved):
                if anchor not in anchors_of(resolved, cache):
                    dead.append(where + ': no heading with that anchor')
    return dead, checked


def self_test():
    """The checker against files whose dead links are known by hand."""
    pages = {
        'README.md': '# Title\n\n'
                     'See [settings](docs/settings.md#section-preset_def-and-the-numbered-presets),\n'
                     '[upgrading](docs/settings.md#upgrading-new-presets-and-keys-into-an-edited-file),\n'
                     '[options](docs/settings.md#zd-capture-options),\n'
                     '[again](docs/settings.md#keys-1), [top](#title), [site](https://example.com/x),\n'
                     '![picture](assets/p.png) and [folder](docs).\n'
                     '[gone](docs/missing.md) [bad anchor](docs/settings.md#no-such-heading)\n'
                     '[own bad anchor](#titel) `[in code](nowhere.md)` [a wrapped\n'
                     'link](docs/settings.md#keys-2)\n'
                     '```\n[in a fence](nowhere.md)\n```\n'
                     '[ref]: docs/absent.md\n',
        'docs/settings.md': '# Settings\n\n## Section PRESET_DEF and the numbered presets\n\n'
                            '## Upgrading: new presets and keys into an edited file\n\n'
                            '## `zd-capture` options\n\n## Keys\n\n## Keys\n\n'
                            '[back](../README.md#title) [up](../assets/p.png)\n',
        'assets/p.png': '',
    }
    expected = [
        'README.md:8: docs/missing.md: no such file',
        'README.md:8: docs/settings.md#no-such-heading: no heading with that anchor',
        'README.md:9: #titel: no heading with that anchor',
        'README.md:9: docs/settings.md#keys-2: no heading with that anchor',
        'README.md:14: docs/absent.md: no such file',
    ]
    with tempfile.TemporaryDirectory() as root:
        for name, text in pages.items():
            os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(root, name), 'w', encoding='utf-8') as f:
                f.write(text)
        dead, checked = check(root, ['README.md', 'docs/settings.md'])
    if dead != expected or checked != 14:
        print('check-links self-test failed: %d links checked, dead:' % checked)
        print('\n'.join(dead))
        return 1
    print('check-links self-test: the known dead links and only those are found')
    return 0


def main(argv):
    if argv[1:] == ['--self-test']:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
    root = os.path.abspath(root)
    files = markdown_files(root)
    dead, checked = check(root, files)
    for d in dead:
        print('dead link: ' + d)
    if dead:
        print('check-links: %d dead of %d relative links in %d files' % (len(dead), checked, len(files)))
        return 1
    print('check-links: %d relative links in %d files, none dead' % (checked, len(files)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
