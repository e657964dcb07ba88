"""Reading the Windows build's binaries (objdump -p) and the interpreter's
headers, for the checks and tools in tests/windows/."""
import glob
import os
import re
import struct
import subprocess


def run(*command):
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = process.communicate()
    if process.returncode != 0:
        raise AssertionError('%s failed: %s' % (' '.join(command), err))
    return out


def imports(objdump, binary):
    """{dll name: [(ordinal or None, name or None)]} from objdump -p; an
    import by ordinal alone has name None, one by name has ordinal None."""
    result = {}
    entries = None
    for line in run(objdump, '-p', binary).splitlines():
        match = re.match(r'\s*DLL Name: (\S+)', line)
        if match:
            entries = result.setdefault(match.group(1), [])
            continue
        match = re.match(r'\s*([0-9a-f]+)\s+(\d+)\s+(\S+)$', line)
        if entries is not None and match:
            vma, number, name = match.groups()
            if int(vma, 16) & 0x80000000:
                entries.append((int(number), None if name == '<none>' else name))
            else:
                entries.append((None, name))
        elif not line.strip():
            entries = None
    return result


def imported_names(objdump, binary, dll):
    """The names imported from dll (case-insensitive), as a set."""
    for name, entries in imports(objdump, binary).items():
        if name.lower() == dll.lower():
            return set(n for ordinal, n in entries if n)
    return set()


def exports(objdump, binary):
    """{name: ordinal} from objdump -p's export table."""
    text = run(objdump, '-p', binary)
    base = int(re.search(r'Ordinal Base\s+(\d+)', text).group(1))
    table = text.split('[Ordinal/Name Pointer] Table', 1)[1].split('\n\n', 1)[0]
    result = {}
    for index, name in re.findall(r'\[\s*(\d+)\]\s+(\S+)', table):
        result[name] = int(index) + base
    return result


def _closing(text):
    """The index just past the parenthesis that closes an opened one."""
    depth = 1
    for index, char in enumerate(text):
        depth += {'(': 1, ')': -1}.get(char, 0)
        if depth == 0:
            return index + 1
    raise ValueError('unbalanced parentheses')


def _declarators(text):
    """The comma-separated declarators before the first ';' outside parentheses."""
    parts, depth, start = [], 0, 0
    for index, char in enumerate(text):
        depth += {'(': 1, ')': -1}.get(char, 0)
        if depth == 0 and char in ',;':
            parts.append(text[start:index])
            start = index + 1
            if char == ';':
                break
    return parts


def declarations(header_dir):
    """{name: 'FUNC' or 'DATA'} for every C API name the headers declare:
    "PyAPI_FUNC(type) name(...)", "PyAPI_DATA(type) name, name;" where a type
    holds parentheses and a name may stand in "(*name)(...)"."""
    result = {}
    identifier = re.compile(r'[A-Za-z_]\w*')
    for path in sorted(glob.glob(os.path.join(header_dir, '*.h'))):
        text = re.sub(r'/\*.*?\*/', ' ', open(path).read(), flags=re.S)
        text = re.sub(r'(?m)^\s*#define\b.*$', ' ', text)  # PyAPI_* defined, not used
        for match in re.finditer(r'\bPyAPI_(FUNC|DATA)\(', text):
            rest = text[match.end():]
            rest = rest[_closing(rest):]
            if match.group(1) == 'FUNC':
                names = [identifier.search(rest).group(0)]
            else:
                names = [identifier.search(part).group(0) for part in _declarators(rest)]
            for name in names:
                result[name] = match.group(1)
    return result


def sections(binary):
    """[(name, virtual address, bytes)] of a PE image's sections, in order,
    read from its section table (a long name stays as its "/n" reference)."""
    data = open(binary, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3c)[0]
    if data[pe:pe + 4] != 'PE\0\0':
        raise AssertionError('%s is not a PE image' % binary)
    count, = struct.unpack_from('<H', data, pe + 6)
    optional_size, = struct.unpack_from('<H', data, pe + 20)
    table = pe + 24 + optional_size
    result = []
    for index in range(count):
        name, _, address, size, offset = struct.unpack_from('<8sIIII', data, table + 40 * index)
        result.append((name.rstrip('\0'), address, data[offset:offset + size]))
    return result
