"""Builds a stand-in for the interpreter's DLL that exports exactly the names
the modules of one interpreter import from it: every function is code that
traps when called, every data name a zeroed block (the headers' PyAPI_DATA
tell which is which). A module loads against it as against the real DLL, and
nothing of the module may run Python while it loads.

  python_stand_in.py OBJDUMP CC HEADER_DIR OUTPUT_DLL MODULE_DIR

OUTPUT_DLL's file name is the DLL's (python27.dll); the modules are the .pyd
files under MODULE_DIR.
"""
import os
import subprocess
import sys

import pe

# Larger than any object the C API exports (a type object is under 200 bytes).
DATA_BYTES = 512


def main(objdump, cc, headers, output, module_dir):
    dll = os.path.basename(output)
    names = set()
    for top, _, files in os.walk(module_dir):
        for name in files:
            if name.endswith('.pyd'):
                names |= pe.imported_names(objdump, os.path.join(top, name), dll)
    if not names:
        raise SystemExit('python_stand_in.py: no module under %s imports %s' % (module_dir, dll))
    kinds = pe.declarations(headers)
    unknown = sorted(n for n in names if n not in kinds)
    if unknown:
        raise SystemExit('python_stand_in.py: not declared by the headers: ' + ' '.join(unknown))

    source = ['/* %s stand-in: traps for functions, zeroes for data. */' % dll]
    definition = ['LIBRARY %s' % dll, 'EXPORTS']
    for index, name in enumerate(sorted(names)):
        if kinds[name] == 'DATA':
            source.append('char data_%d[%d];' % (index, DATA_BYTES))
            definition.append('  %s=data_%d DATA' % (name, index))
        else:
            source.append('void trap_%d(void) { __builtin_trap(); }' % index)
            definition.append('  %s=trap_%d' % (name, index))
    stem = os.path.splitext(output)[0] + '-stand-in'
    open(stem + '.c', 'w').write('\n'.join(source) + '\n')
    open(stem + '.def', 'w').write('\n'.join(definition) + '\n')
    subprocess.check_call([cc, '-shared', '-O1', '-static-libgcc', '-o', output,
                           stem + '.c', stem + '.def'])


if __name__ == '__main__':
    if len(sys.argv) != 6:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
