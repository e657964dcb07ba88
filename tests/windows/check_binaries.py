"""What the 32-bit Windows build's binaries import and export, read with objdump -p.

  check_binaries.py OBJDUMP NM SOURCE_DIR WINDOWS_BUILD_DIR

The expected ordinals come from qmdll/include/qmdll_ordinals.def; the expected
argument bytes of each function come from its prototype in qmdll.h, not from
the table or the generated files, so a wrong row or a wrong decoration shows.
The modules are those of the build's package manifest (windows/packages.txt),
each linked for CPython 2.6 and 2.7; the C API they may import is the 2.7
headers' less what windows/python26_api.txt says 2.6 lacks; the KERNEL32.dll
functions any shipped DLL may import are windows/xp_kernel32.txt's.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import pe

OBJDUMP, NM, SOURCE, BUILD = sys.argv[1:5]
del sys.argv[1:5]

# Windows' own DLLs that a mingw-w64 DLL with static language runtimes may
# name; a libstdc++-6.dll, libgcc_s_*.dll or libwinpthread-1.dll is a fault.
SYSTEM_DLLS = set(['kernel32.dll', 'msvcrt.dll', 'user32.dll', 'advapi32.dll', 'ntdll.dll'])
# Argument sizes of the types that are not one 4-byte word when passed by value.
WIDE_TYPES = {'QmDouble': 8, 'double': 8}
HEADERS = os.path.join(BUILD, 'python2.7')  # the 2.7 headers the build compiled with


def read_manifest():
    """(minimum Windows, [(interpreter, path, archive path)], stand-in path)."""
    minimum, modules, stand_in = None, [], None
    for line in open(os.path.join(BUILD, 'windows', 'packages.txt')):
        fields = line.rstrip('\n').split('\t')
        if fields[0] == 'minimum-windows':
            minimum = fields[1]
        elif fields[0] == 'module':
            modules.append(tuple(fields[1:]))
        elif fields[0] == 'stand-in':
            stand_in = fields[1]
    return minimum, modules, stand_in


MINIMUM_WINDOWS, MODULES, STAND_IN = read_manifest()
TOOLS = dict(line.rstrip('\n').split('\t')
             for line in open(os.path.join(BUILD, 'windows', 'tools.txt')))
IMPORT_DEF = os.path.join(BUILD, 'windows', 'qmdll-imports.def')


def module_name(path):
    return os.path.splitext(os.path.basename(path))[0]


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


def symbols(binary):
    return set(line.split()[-1] for line in pe.run(NM, binary).splitlines() if line.strip())


def listed(path, kinds):
    """{name: rest of the row} for the rows of a windows/*.txt list of the given kinds."""
    result = {}
    for line in open(os.path.join(SOURCE, 'windows', path)):
        fields = line.split(None, 2)
        if fields and fields[0] in kinds:
            result[fields[1]] = fields[2].strip() if len(fields) > 2 else ''
    return result


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
    def test_both_interpreters_for_every_module(self):
        by_module = {}
        for interpreter, path, _ in MODULES:
            by_module.setdefault(module_name(path), []).append(interpreter)
        self.assertTrue('_qm_python' in by_module, by_module)
        for name, interpreters in by_module.items():
            self.assertEqual(sorted(interpreters), ['26', '27'], name)

    def test_only_the_entry_point_is_exported(self):
        for _, path, _ in MODULES:
            self.assertEqual(pe.exports(OBJDUMP, path), {'init' + module_name(path): 1}, path)

    def test_needs_only_its_interpreter_the_library_and_windows(self):
        for interpreter, path, _ in MODULES:
            names = set(name.lower() for name in pe.imports(OBJDUMP, path))
            own = 'python%s.dll' % interpreter
            self.assertTrue(own in names, (path, names))
            allowed = SYSTEM_DLLS | set([own])
            if module_name(path) == '_qm_python':  # the binding alone calls the library
                self.assertTrue('qmdll.dll' in names, (path, names))
                allowed.add('qmdll.dll')
            self.assertEqual(names - allowed, set(), path)

    def test_library_functions_by_ordinal_alone(self):
        for _, path, _ in MODULES:
            if module_name(path) != '_qm_python':
                continue
            entries = pe.imports(OBJDUMP, path)['qmdll.dll']
            self.assertEqual([name for ordinal, name in entries if name or ordinal is None], [])
            self.assertEqual(sorted(ordinal for ordinal, name in entries),
                             sorted(ordinal_table().values()))

    def test_interpreter_by_name(self):
        for interpreter, path, _ in MODULES:
            entries = pe.imports(OBJDUMP, path)['python%s.dll' % interpreter]
            self.assertTrue(entries)
            for ordinal, name in entries:
                self.assertTrue(ordinal is None and re.match(r'_?Py', name), (path, ordinal, name))

    def test_the_interpreters_links_differ_only_in_the_dll_name(self):
        # One set of objects: every loaded byte is the same but the '6' of
        # python26.dll in the import section.
        links = {}
        for interpreter, path, _ in MODULES:
            links.setdefault(module_name(path), {})[interpreter] = pe.sections(path)
        for name, pair in links.items():
            old, new = pair['26'], pair['27']
            self.assertEqual([(s, a, len(b)) for s, a, b in old], [(s, a, len(b)) for s, a, b in new])
            for (section, _, before), (_, _, after) in zip(old, new):
                differing = [(x, y) for x, y in zip(before, after) if x != y]
                if section == '.idata':
                    self.assertEqual(set(differing), set([('6', '7')]), name)
                    self.assertEqual(before.count('python26.dll'), len(differing), name)
                else:
                    self.assertEqual(differing, [], (name, section))


class InterpreterApi(unittest.TestCase):
    """Every C API name a module imports is exported by its interpreter's DLL."""

    def setUp(self):
        self.declared = pe.declarations(HEADERS)
        self.new_in_27 = listed('python26_api.txt', ['new'])
        self.private = listed('python26_api.txt', ['private'])

    def imported(self, interpreter, path):
        return pe.imported_names(OBJDUMP, path, 'python%s.dll' % interpreter)

    def test_declared_by_the_27_headers(self):
        # python27.dll exports every PyAPI_FUNC and PyAPI_DATA of its headers.
        for interpreter, path, _ in MODULES:
            names = self.imported(interpreter, path)
            self.assertTrue(len(names) > 10, names)
            self.assertEqual(sorted(n for n in names if n not in self.declared), [], path)

    def test_nothing_new_in_27_for_python26(self):
        for interpreter, path, _ in MODULES:
            if interpreter == '26':
                names = self.imported(interpreter, path)
                self.assertEqual(sorted(names & set(self.new_in_27)), [], path)

    def test_private_names_only_of_known_age(self):
        for interpreter, path, _ in MODULES:
            private = set(n for n in self.imported(interpreter, path) if n.startswith('_'))
            self.assertEqual(sorted(private - set(self.private)), [], path)

    def test_the_list_names_c_api(self):
        # A misspelt row would allow nothing and forbid nothing.
        rows = listed('python26_api.txt', ['new', 'older', 'changed', 'private'])
        macros = set(['PyCapsule', 'PyCapsule_CheckExact', 'PyCapsule_Destructor', 'PyCObject',
                      'PyMemoryView_Check', 'PyMemoryView_GET_BUFFER'])
        self.assertEqual(sorted(n for n in rows if n not in self.declared and n not in macros), [])

    def test_no_format_conversion_new_in_27(self):
        # "%lld" and "%llu" reach PyString_FromFormat and PyErr_Format from 2.7 on only.
        found = []
        for folder, dirs, files in os.walk(SOURCE):
            dirs[:] = [d for d in dirs if not d.startswith(('.', 'build')) and d not in ('tests', 'bench')]
            for name in files:
                if name.endswith(('.cpp', '.h', '.def', '.inc')):
                    if re.search(r'%ll[du]', open(os.path.join(folder, name)).read()):
                        found.append(os.path.join(folder, name))
        self.assertEqual(found, [])


class DataEntries(unittest.TestCase):
    """Data of the interpreter is imported through its __imp_ pointer only."""

    def definition(self, path):
        rows = re.findall(r'^\s+(\w+)( DATA)?$', open(path).read(), re.M)
        return dict((name, bool(data)) for name, data in rows)

    def test_data_entries_marked(self):
        declared = pe.declarations(HEADERS)
        for name in set(module_name(path) for _, path, _ in MODULES):
            rows = self.definition(os.path.join(BUILD, 'windows', name + '-python.def'))
            self.assertTrue(rows)
            for entry, data in rows.items():
                self.assertEqual(data, declared[entry] == 'DATA', entry)

    def test_no_code_stub_for_data(self):
        for name in set(module_name(path) for _, path, _ in MODULES):
            rows = self.definition(os.path.join(BUILD, 'windows', name + '-python.def'))
            for interpreter in ('26', '27'):
                library = os.path.join(BUILD, 'windows', 'lib%s-python%s.a' % (name, interpreter))
                listing = pe.run(NM, library).splitlines()
                code = set(line.split()[-1] for line in listing if re.match(r'\S+ T ', line))
                pointers = set(line.split()[-1] for line in listing if re.match(r'\S+ I ', line))
                for entry, data in rows.items():
                    self.assertTrue('__imp__' + entry in pointers, (library, entry))
                    self.assertEqual('_' + entry in code, not data, (library, entry))

    def test_data_named_without_import_is_refused(self):
        compiler = TOOLS['cxx']
        work = tempfile.mkdtemp()
        try:
            source = os.path.join(work, 'direct.cpp')
            open(source, 'w').write('extern "C" char PyExc_TypeError[];\n'
                                    'extern "C" char *PyObject_Str(char *);\n'
                                    'char *f() { return PyObject_Str(PyExc_TypeError); }\n')
            obj = os.path.join(work, 'direct.o')
            subprocess.check_call([compiler, '-c', source, '-o', obj])
            script = os.path.join(SOURCE, 'windows', 'python_def.py')
            process = subprocess.Popen([sys.executable, script, NM, HEADERS,
                                        os.path.join(work, 'out.def'), obj],
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            _, err = process.communicate()
            self.assertNotEqual(process.returncode, 0)
            self.assertTrue('PyExc_TypeError' in err and 'PyObject_Str' not in err, err)
        finally:
            shutil.rmtree(work)


class CallingConventions(unittest.TestCase):
    def qm_python_modules(self):
        return [path for _, path, _ in MODULES if module_name(path) == '_qm_python']

    def test_callee_cleans_the_bytes_of_each_parameter_list(self):
        # __stdcall names carry the bytes the callee removes: in the import
        # library's definition file and in the module's own import symbols.
        declared = prototype_bytes()
        rows = re.findall(r'^\s+(\w+)@(\d+) @(\d+) NONAME$', open(IMPORT_DEF).read(), re.M)
        self.assertEqual(dict((name, int(size)) for name, size, ordinal in rows), declared)
        self.assertEqual(dict((name, int(ordinal)) for name, size, ordinal in rows),
                         ordinal_table())
        for path in self.qm_python_modules():
            module_symbols = symbols(path)
            for name, size in declared.items():
                self.assertTrue('__imp__%s@%d' % (name, size) in module_symbols, (path, name))

    def test_receiver_is_caller_cleans(self):
        # __cdecl has no @bytes: "__qm_callback_imp" ("_" + C name).
        for path in self.qm_python_modules():
            module_symbols = symbols(path)
            self.assertTrue('__qm_callback_imp' in module_symbols)
            self.assertEqual([s for s in module_symbols if s.startswith('__qm_callback_imp@')], [])


class StandIn(unittest.TestCase):
    def test_exports_each_function_at_its_ordinal(self):
        exported = pe.exports(OBJDUMP, STAND_IN)
        for name, ordinal in ordinal_table().items():
            self.assertEqual(exported.get(name), ordinal, name)
        self.assertTrue('qmsim_reset' in exported)

    def test_needs_only_windows(self):
        names = set(name.lower() for name in pe.imports(OBJDUMP, STAND_IN))
        self.assertEqual(names - SYSTEM_DLLS, set())


def shipped():
    return [path for _, path, _ in MODULES] + [STAND_IN]


class EveryShippedDll(unittest.TestCase):
    def test_registers_its_unwind_tables_with_its_own_unwinder(self):
        for path in shipped():
            self.assertTrue('__ZN12_GLOBAL__N_119register_own_framesEv' in symbols(path), path)

    def test_kernel32_imports_against_windows_xp(self):
        xp, vista = listed('xp_kernel32.txt', ['xp']), listed('xp_kernel32.txt', ['vista'])
        beyond_xp = {}
        for path in shipped():
            for name in pe.imported_names(OBJDUMP, path, 'KERNEL32.dll'):
                if name not in xp:
                    beyond_xp.setdefault(name, []).append(os.path.relpath(path, BUILD))
        if MINIMUM_WINDOWS == 'XP':
            self.assertEqual(beyond_xp, {})
        else:
            # The packages say Vista because of these imports, and only these.
            self.assertEqual(MINIMUM_WINDOWS, 'Vista')
            self.assertEqual(sorted(beyond_xp), sorted(vista), beyond_xp)

    def test_the_xp_list_agrees_with_the_toolchains_headers(self):
        # mingw-w64 declares a later function only for a later _WIN32_WINNT.
        compiler = TOOLS['cc']
        process = subprocess.Popen([compiler, '-E', '-D_WIN32_WINNT=0x0501', '-DWINVER=0x0501',
                                    '-xc', '-'], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        text, _ = process.communicate('#include <windows.h>\n')
        self.assertEqual(process.returncode, 0)
        declared = set(re.findall(r'__stdcall__\)\)\s+(\w+)\s*\(', text))
        xp, vista = listed('xp_kernel32.txt', ['xp']), listed('xp_kernel32.txt', ['vista'])
        self.assertEqual(sorted(n for n in xp if n not in declared), [])
        self.assertEqual(sorted(n for n in vista if n in declared), [])


if __name__ == '__main__':
    unittest.main()
