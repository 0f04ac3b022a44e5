#!/usr/bin/env python3
"""Makes a delay-load import library for one system DLL from mingw-w64's import library.

  delayimports.py NM DLLTOOL IMPORT_LIB DLL_NAME OUT.a

A program linked with it loads the DLL on its first call, through the delay-load helper,
which honours SetDefaultDllDirectories: the DLL then comes from the system folder, never
from the program's own.
"""
import re
import subprocess
import sys


def main():
    nm, dlltool, import_lib, dll, out = sys.argv[1:]
    symbols = subprocess.run([nm, import_lib], capture_output=True, check=True, text=True).stdout
    # "__imp_Name" (64-bit) or "__imp__Name@N" (32-bit stdcall), one per function.
    names = sorted(set(re.findall(r' I __imp__?(\S+)', symbols)))
    stdcall = any('@' in name for name in names)
    definition = out + '.def'
    with open(definition, 'w') as f:
        f.write('LIBRARY %s\nEXPORTS\n' % dll)
        for name in names:
            f.write('    %s\n' % name)
    command = [dlltool, '--input-def', definition, '--output-delaylib', out, '--dllname', dll]
    subprocess.run(command + (['--kill-at'] if stdcall else []), check=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
