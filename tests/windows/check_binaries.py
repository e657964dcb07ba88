"""What the 32-bit Windows build's binaries import and export, read with objdump -p.

  check_binaries.py OBJDUMP NM SOURCE_DIR WINDOWS_BUILD_DIR

The expected ordinals come from qmdll/include/qmdll_ordinals.def; the expected
argument bytes of each function come from its prototype in qmdll.h, not from
the table or the generated files, so a wrong row or a wrong decoration shows.
"""
import os
import re
import subprocess
import sys
import unittest

OBJDUMP, NM, SOURCE, BUILD = sys.argv[1:5]
del sys.argv[1:5]

# Windows' own DLLs that a mingw-w64 DLL with static language runtimes may
# name; a libstdc++-6.dll, libgcc_s_*.dll or libwinpthread-1.dll is a fault.
SYSTEM_DLLS = set(['kernel32.dll', 'msvcrt.dll', 'user32.dll', 'advapi32.dll', 'ntdll.dll'])
# Argument sizes of the types that are not one 4-byte word when passed by value.
WIDE_TYPES = {'QmDouble': 8, 'double': 8}


def run(*command):
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = process.communicate()
    if process.returncode != 0:
        raise AssertionError('%s failed: %s' % (' '.join(command), err))
    return out


def ordinal_table():
    """{function: ordinal} from the table rows QM_ORDINAL(function, ordinal)."""
    text = open(os.path.join(SOURCE, 'qmdll', 'include', 'qmdll_ordinals.def')).read()
    rows = re.findall(r'^QM_ORDINAL\((\w+), (\d+)\)', text, re.M)
    return dict((name, int(ordinal)) for name, ordinal in rows)


def prototype_bytes():
    """{function: bytes of its arguments} from qmdll.h's QM_CALL prototypes."""
    text = open(os.path.join(SOURCE, 'qmdll', 'include', 'qmdll.h')).read()
    result = {}
    for name, params in re.findall(r'QM_EXPORT\s+QmWord\s+QM_CALL\s+(\w+)\s*\(([^)]*)\)\s*;', text):
        params = ' '.join(params.split())
        total = 0
        if params not in ('', 'void'):
            for param in params.split(','):
                words = param.replace('*', ' * ').split()
                total += 4 if '*' in words else WIDE_TYPES.get(words[0], 4)
        result[name] = total
    return result


def imports(binary):
    """{dll name: [(ordinal or None, name or None)]} from objdump -p."""
    result = {}
    entries = None
    for line in run(OBJDUMP, '-p', binary).splitlines():
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


def exports(binary):
    """{name: ordinal} from objdump -p's export table."""
    text = run(OBJDUMP, '-p', binary)
    base = int(re.search(r'Ordinal Base\s+(\d+)', text).group(1))
    table = text.split('[Ordinal/Name Pointer] Table', 1)[1].split('\n\n', 1)[0]
    result = {}
    for index, name in re.findall(r'\[\s*(\d+)\]\s+(\S+)', table):
        result[name] = int(index) + base
    return result


def symbols(binary):
    return set(line.split()[-1] for line in run(NM, binary).splitlines() if line.strip())


MODULE = os.path.join(BUILD, '_qm_python.pyd')
SIGNAL = os.path.join(BUILD, '_qm_signal.pyd')
STAND_IN = os.path.join(BUILD, 'qmdll.dll')
IMPORT_DEF = os.path.join(BUILD, 'windows', 'qmdll-imports.def')


class SourcesAgree(unittest.TestCase):
    def test_the_table_names_each_declared_function_once(self):
        table, declared = ordinal_table(), prototype_bytes()
        self.assertEqual(len(table), 32)
        self.assertEqual(len(set(table.values())), 32)
        self.assertEqual(sorted(table), sorted(declared))

    def test_parameter_bytes_read_from_the_header(self):
        declared = prototype_bytes()
        self.assertEqual(declared['QmNewestHardwareWrite'], 36)  # nine words
        self.assertEqual(declared['QmShutdown'], 0)
        self.assertEqual(declared['QmSetEventCallback'], 4)  # the receiver's address


class ModuleImportsAndExports(unittest.TestCase):
    def setUp(self):
        self.imports = imports(MODULE)

    def test_only_the_entry_point_is_exported(self):
        self.assertEqual(exports(MODULE), {'init_qm_python': 1})

    def test_needs_only_python_the_library_and_windows(self):
        names = set(name.lower() for name in self.imports)
        self.assertTrue(set(['python27.dll', 'qmdll.dll']) <= names, names)
        self.assertEqual(names - set(['python27.dll', 'qmdll.dll']) - SYSTEM_DLLS, set())

    def test_library_functions_by_ordinal_alone(self):
        entries = self.imports['qmdll.dll']
        self.assertEqual([name for ordinal, name in entries if name or ordinal is None], [])
        self.assertEqual(sorted(ordinal for ordinal, name in entries),
                         sorted(ordinal_table().values()))

    def test_interpreter_by_name(self):
        entries = self.imports['python27.dll']
        self.assertTrue(entries)
        for ordinal, name in entries:
            self.assertTrue(ordinal is None and re.match(r'_?Py', name), (ordinal, name))


class SignalModuleImportsAndExports(unittest.TestCase):
    """The signal core: a module of its own that needs the interpreter and
    Windows, not the board library."""

    def setUp(self):
        self.imports = imports(SIGNAL)

    def test_only_the_entry_point_is_exported(self):
        self.assertEqual(exports(SIGNAL), {'init_qm_signal': 1})

    def test_needs_only_python_and_windows(self):
        names = set(name.lower() for name in self.imports)
        self.assertTrue('python27.dll' in names, names)
        self.assertEqual(names - set(['python27.dll']) - SYSTEM_DLLS, set())

    def test_interpreter_by_name(self):
        entries = self.imports['python27.dll']
        self.assertTrue(entries)
        for ordinal, name in entries:
            self.assertTrue(ordinal is None and re.match(r'_?Py', name), (ordinal, name))


class CallingConventions(unittest.TestCase):
    def test_callee_cleans_the_bytes_of_each_parameter_list(self):
        # __stdcall names carry the bytes the callee removes: in the import
        # library's definition file and in the module's own import symbols.
        declared = prototype_bytes()
        rows = re.findall(r'^\s+(\w+)@(\d+) @(\d+) NONAME$', open(IMPORT_DEF).read(), re.M)
        self.assertEqual(dict((name, int(size)) for name, size, ordinal in rows), declared)
        self.assertEqual(dict((name, int(ordinal)) for name, size, ordinal in rows),
                         ordinal_table())
        module_symbols = symbols(MODULE)
        for name, size in declared.items():
            self.assertTrue('__imp__%s@%d' % (name, size) in module_symbols, name)

    def test_receiver_is_caller_cleans(self):
        # __cdecl has no @bytes: "__qm_callback_imp" ("_" + C name).
        module_symbols = symbols(MODULE)
        self.assertTrue('__qm_callback_imp' in module_symbols)
        self.assertEqual([s for s in module_symbols if s.startswith('__qm_callback_imp@')], [])


class StandIn(unittest.TestCase):
    def test_exports_each_function_at_its_ordinal(self):
        exported = exports(STAND_IN)
        for name, ordinal in ordinal_table().items():
            self.assertEqual(exported.get(name), ordinal, name)
        self.assertTrue('qmsim_reset' in exported)

    def test_needs_only_windows(self):
        names = set(name.lower() for name in imports(STAND_IN))
        self.assertEqual(names - SYSTEM_DLLS, set())


if __name__ == '__main__':
    unittest.main()
