#!/usr/bin/env python3
"""check_pe_test.py -- scripts/check_pe.py passes a built setup.exe and fails each copy of it with
one planted fault, naming the fault.
  check_pe_test.py SETUP_EXE CHECK_PE_PY"""
import importlib.util
import os
import struct
import subprocess
import sys
import tempfile

setup_exe, check_pe_py = sys.argv[1], sys.argv[2]
spec = importlib.util.spec_from_file_location('check_pe', check_pe_py)
check_pe = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_pe)

original = open(setup_exe, 'rb').read()
image = check_pe.Image(original)
pe = struct.unpack_from('<I', original, 0x3C)[0]
optional_size = struct.unpack_from('<H', original, pe + 20)[0]
magic = struct.unpack_from('<H', original, pe + 24)[0]
directories_at = pe + 24 + (96 if magic == 0x10B else 112)


def section_header(name):
    for i, section in enumerate(image.sections):
        if section[0] == name:
            return pe + 24 + optional_size + 40 * i
    raise SystemExit('check_pe_test: %s has no section %s' % (setup_exe, name))


def add_to_field(data, offset, amount):
    struct.pack_into('<I', data, offset, struct.unpack_from('<I', data, offset)[0] + amount)


def unaligned_resources(data):
    add_to_field(data, section_header('.rsrc') + 16, -0x20)     # SizeOfRawData


def unaligned_code_start(data):
    add_to_field(data, section_header('.text') + 20, 0x10)      # PointerToRawData


def overlong_bitmap_row(data):
    # The side picture's first coded run in its first row codes 3 pixels more.
    dib = dict(check_pe.resources(image, check_pe.RT_BITMAP))['114/1033']
    header_size, used = struct.unpack_from('<I', dib, 0)[0], struct.unpack_from('<I', dib, 32)[0]
    code = data.find(dib) + header_size + 4 * (used or 256)
    while data[code] == 0:              # literal groups: skip their pixels and pad
        code += 2 + data[code + 1] + (data[code + 1] & 1)
    data[code] += 3


def tls_directory(data):
    struct.pack_into('<II', data, directories_at + 8 * 9, image.sections[0][2], 0x18)


def read_only_import_table(data):
    iat = image.directory(12)[0] or image.directory(1)[0]
    name = image.section_of(iat)[0]
    flags = section_header(name) + 36
    struct.pack_into('<I', data, flags, struct.unpack_from('<I', data, flags)[0] & ~0x80000000)


ROWS = [
    # (planted fault, what the check must say)
    (None, None),
    (unaligned_resources, 'section .rsrc has'),
    (unaligned_code_start, 'section .text starts at'),
    (overlong_bitmap_row, 'bitmap 114/1033: 1 rows code other than its width'),
    (tls_directory, 'it has a TLS directory'),
    (read_only_import_table, 'which is not writable'),
]

failures = 0
with tempfile.TemporaryDirectory() as scratch:
    for plant, expected in ROWS:
        data = bytearray(original)
        label = plant.__name__ if plant else 'as built'
        if plant:
            plant(data)
        path = os.path.join(scratch, label + '.exe')
        open(path, 'wb').write(data)
        run = subprocess.run([sys.executable, check_pe_py, '--win95', path],
                             capture_output=True, text=True)
        ok = (run.returncode == 0 and run.stdout == '') if expected is None else \
             (run.returncode == 1 and expected in run.stdout)
        print('%s %s: status %d %s' % ('ok  ' if ok else 'FAIL', label, run.returncode,
                                        run.stdout.strip().replace(path, 'setup.exe')))
        failures += not ok
print('%d passed, %d failed' % (len(ROWS) - failures, failures))
sys.exit(1 if failures else 0)
