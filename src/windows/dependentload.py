#!/usr/bin/env python3
"""Points a PE image's load-configuration directory at its ".lcfg" section.

  dependentload.py PROGRAM.exe         patch in place
  dependentload.py --check PROGRAM.exe print the DependentLoadFlags the loader will read;
                                       exit 1 when the image has none

GNU ld (2.40) leaves the directory empty even where a program defines one; the section
holds an IMAGE_LOAD_CONFIG_DIRECTORY whose first field is its size.
"""
import struct
import sys

LOAD_CONFIG = 10


def layout(image):
    pe = struct.unpack_from('<I', image, 0x3C)[0]
    if image[pe:pe + 4] != b'PE\0\0':
        raise ValueError('not a PE image')
    sections, optional_size = struct.unpack_from('<H12xH', image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from('<H', image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    table = optional + optional_size
    found = {}
    for i in range(sections):
        name, vsize, rva, raw_size, raw = struct.unpack_from('<8sIIII', image, table + 40 * i)
        found[name.rstrip(b'\0').decode('latin-1')] = (rva, raw, vsize)
    return magic, directories + 8 * LOAD_CONFIG, found


def rva_to_offset(found, rva):
    for start, raw, size in found.values():
        if start <= rva < start + size:
            return raw + rva - start
    raise ValueError('address outside every section')


def main():
    check = sys.argv[1] == '--check'
    path = sys.argv[-1]
    image = bytearray(open(path, 'rb').read())
    magic, entry, found = layout(image)
    if check:
        rva, size = struct.unpack_from('<II', image, entry)
        if not rva:
            print('%s: no load configuration' % path)
            return 1
        flags_at = rva_to_offset(found, rva) + (0x36 if magic == 0x10B else 0x4E)
        print('%s: DependentLoadFlags 0x%x' % (path, struct.unpack_from('<H', image, flags_at)[0]))
        return 0
    if '.lcfg' not in found:
        print('%s: no .lcfg section' % path, file=sys.stderr)
        return 1
    rva, raw, _ = found['.lcfg']
    struct.pack_into('<II', image, entry, rva, struct.unpack_from('<I', image, raw)[0])
    open(path, 'wb').write(image)
    return 0


if __name__ == '__main__':
    sys.exit(main())
