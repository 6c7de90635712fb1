#!/bin/sh
# debian-binary-changes.sh PACKAGE OLD NEW
# Which functions of a Debian binary package's shared libraries and programs
# changed between two of its versions, both fetched from the archive with
# apt-get download. It tells where a security revision whose source the
# archive does not serve made its changes, from the binaries it does serve:
# e.g. `debian-binary-changes.sh libtiff6 4.5.0-6+deb12u4 4.5.0-6+deb12u5`.
#
# Functions are found by their unwinding entries (.eh_frame), which stripped
# binaries keep, and compared by their instructions with addresses taken
# out; exported functions are named, others given by address. A function
# whose code moved but did not change is not listed. Debian builds
# reproducibly with the same compiler within a release, so what is listed is
# what the revision's patches changed.
set -e
package=$1 old=$2 new=$3
[ -n "$new" ] || { echo "usage: debian-binary-changes.sh PACKAGE OLD NEW" >&2; exit 2; }
cd "$(dirname "$0")/.."
work=$PWD/build/deps/binary-changes/$package
rm -rf "$work"
mkdir -p "$work/old" "$work/new"
cd "$work"
for side in old new; do
    eval version=\$$side
    apt-get download -qq "$package=$version" 2>/dev/null || { echo "cannot download $package $version" >&2; exit 1; }
    dpkg-deb -x ./"${package}"_*.deb "$side"
    rm ./"${package}"_*.deb
done
python3 - "$work/old" "$work/new" <<'PYTHON'
import bisect, difflib, os, re, subprocess, sys

def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout

def functions(path):
    names = {}
    for line in run('nm', '-D', '--defined-only', path).splitlines():
        fields = line.split()
        if len(fields) == 3:
            names.setdefault(int(fields[0], 16), fields[2])
    ranges = sorted({(int(a, 16), int(b, 16)) for a, b in
                     re.findall(r'FDE cie=\w+ pc=([0-9a-f]+)\.\.([0-9a-f]+)',
                                run('readelf', '--debug-dump=frames', path))})
    code = []
    for line in run('objdump', '-d', '--no-show-raw-insn', path).splitlines():
        match = re.match(r'^\s+([0-9a-f]+):\t(.*)$', line)
        if match:
            code.append((int(match.group(1), 16), match.group(2)))
    starts = [address for address, _ in code]
    data = open(path, 'rb').read()
    segments = [(int(f[2], 16), int(f[1], 16), int(f[4], 16)) for f in
                (l.split() for l in run('readelf', '-lW', path).splitlines()) if f and f[0] == 'LOAD']

    def string_at(address):
        for virtual, offset, size in segments:
            if virtual <= address < virtual + size:
                at = offset + address - virtual
                end = data.find(b'\0', at, at + 80)
                text = data[at:end] if end > at else b''
                if len(text) >= 4 and all(32 <= c < 127 for c in text):
                    return text.decode()
        return None

    bodies, callers = [], {}
    for low, high in ranges:
        lines = code[bisect.bisect_left(starts, low):bisect.bisect_left(starts, high)]
        bodies.append((low, lines))
        for _, text in lines:
            call = re.match(r'(call|jmp)\s+([0-9a-f]+)', text)
            if call and names.get(low):
                callers.setdefault(int(call.group(2), 16), set()).add(names[low].split('@')[0])
    result = []
    for low, lines in bodies:
        name = names.get(low)
        if name is None:
            # Unnamed: known by the exported functions that call it and the
            # strings it uses.
            strings = [s for s in (string_at(int(a, 16)) for _, t in lines for a in re.findall(r'# ([0-9a-f]+)', t))
                       if s]
            hints = sorted(callers.get(low, ()))
            name = 'function at 0x%x (%s)' % (low, '; '.join(
                (['called by ' + ', '.join(hints)] if hints else []) +
                (['uses "' + '", "'.join(strings[:3]) + '"'] if strings else [])) or 'internal')
        body = [re.sub(r'0x[0-9a-f]+|\b[0-9a-f]{3,}\b', 'N', re.sub(r'<[^>]*>|#.*$', '', t)).strip()
                for _, t in lines]
        result.append((name, '\n'.join(body)))
    return result

old_root, new_root = sys.argv[1], sys.argv[2]
for folder, _, files in sorted(os.walk(new_root)):
    for name in sorted(files):
        new = os.path.join(folder, name)
        old = os.path.join(old_root, os.path.relpath(new, new_root))
        if os.path.islink(new) or not os.path.exists(old) or open(new, 'rb').read(4) != b'\x7fELF':
            continue
        before, after = functions(old), functions(new)
        matcher = difflib.SequenceMatcher(None, [b for _, b in before], [a for _, a in after], autojunk=False)
        changed = [after[j][0] for tag, _, _, j1, j2 in matcher.get_opcodes() if tag != 'equal'
                   for j in range(j1, j2)]
        relative = os.path.relpath(new, new_root)
        print('%s: %s' % (relative, ', '.join(changed) if changed else 'no function changed'))
PYTHON
