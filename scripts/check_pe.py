#!/usr/bin/env python3
"""check_pe.py -- checks the layout of Windows programs that the old loaders of the 95 family and NT 4
take on trust, where objdump says nothing:
  - every section's raw data starts and ends on the file alignment (the headers' size too), and
    lies inside the file;
  - the import address table lies in a writable section (the loader writes the bound addresses
    there; the 95 family does not make it writable for the program);
  - with --win95 (setup.exe): no thread-local storage, delay-load or load-configuration directory
    (the 95 family's loader knows none of them: the MinGW C runtime's TLS directory is why the
    tools need more than Windows 95);
  - every run-length coded bitmap among the resources (BI_RLE8, BI_RLE4) codes exactly its width
    in every row and exactly its height in rows, and ends with the end-of-bitmap code: a row
    that codes more pixels than the width writes past the row in a decoder that trusts it.
Prints one line per fault and exits 1 when there is one.
  check_pe.py [--win95] PROGRAM.exe...
"""
import struct
import sys

IMAGE_SCN_MEM_WRITE = 0x80000000
DIRECTORY_NAMES = {1: 'import', 2: 'resource', 9: 'TLS', 10: 'load configuration',
                   12: 'import address table', 13: 'delay-load import'}
RT_BITMAP = 2


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b'MZ':
            raise ValueError('no MZ header')
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('no PE signature')
        (_, count, _, _, _, optional_size, _) = struct.unpack_from('<HHIIIHH', data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError('unknown optional header magic %#x' % magic)
        directories_at = optional + (96 if magic == 0x10B else 112)
        self.file_alignment = struct.unpack_from('<I', data, optional + 36)[0]
        self.headers_size = struct.unpack_from('<I', data, optional + 60)[0]
        directory_count = struct.unpack_from('<I', data, directories_at - 4)[0]
        self.directories = [struct.unpack_from('<II', data, directories_at + 8 * i)
                            for i in range(min(directory_count, 16))]
        self.sections = []
        for i in range(count):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b'\0').decode('ascii', 'replace')
            (virtual_size, rva, raw_size, raw_offset) = struct.unpack_from('<IIII', data, at + 8)
            flags = struct.unpack_from('<I', data, at + 36)[0]
            self.sections.append((name, virtual_size, rva, raw_size, raw_offset, flags))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def section_of(self, rva):
        for section in self.sections:
            if section[2] <= rva < section[2] + max(section[1], section[3]):
                return section
        return None

    def offset_of(self, rva):
        section = self.section_of(rva)
        if section is None or rva - section[2] >= section[3]:
            raise ValueError('address %#x has no bytes in the file' % rva)
        return section[4] + rva - section[2]


def section_faults(image):
    alignment = image.file_alignment
    if alignment == 0 or alignment & (alignment - 1):
        yield 'file alignment %#x is not a power of two' % alignment
        return
    if image.headers_size % alignment:
        yield 'the headers\' size %#x is not a multiple of the file alignment %#x' % (
            image.headers_size, alignment)
    for (name, _, _, raw_size, raw_offset, _) in image.sections:
        if raw_size == 0:
            continue
        if raw_offset % alignment:
            yield 'section %s starts at %#x, not on the file alignment %#x' % (
                name, raw_offset, alignment)
        if raw_size % alignment:
            yield 'section %s has %#x raw bytes, not a multiple of the file alignment %#x' % (
                name, raw_size, alignment)
        if raw_offset + raw_size > len(image.data):
            yield 'section %s runs past the end of the file' % name


def win95_directory_faults(image):
    for index in (9, 10, 13):
        if image.directory(index) != (0, 0):
            yield 'it has a %s directory' % DIRECTORY_NAMES[index]


def iat_faults(image):
    iat_rva, iat_size = image.directory(12)
    if iat_rva == 0:
        # No directory of its own: the import descriptors' first thunks are the table.
        import_rva = image.directory(1)[0]
        if import_rva == 0:
            return
        at = image.offset_of(import_rva)
        while True:
            descriptor = struct.unpack_from('<IIIII', image.data, at)
            if descriptor == (0, 0, 0, 0, 0):
                break
            iat_rva = descriptor[4] if iat_rva == 0 else min(iat_rva, descriptor[4])
            at += 20
    section = image.section_of(iat_rva)
    if section is None:
        yield 'the import address table at %#x lies in no section' % iat_rva
    elif not section[5] & IMAGE_SCN_MEM_WRITE:
        yield 'the import address table lies in section %s, which is not writable' % section[0]


def resources(image, type_id):
    """The (name, bytes) of every resource of `type_id`."""
    root_rva = image.directory(2)[0]
    if root_rva == 0:
        return
    root = image.offset_of(root_rva)

    def entries(at):
        named, numbered = struct.unpack_from('<HH', image.data, at + 12)
        for i in range(named + numbered):
            yield struct.unpack_from('<II', image.data, at + 16 + 8 * i)

    def leaves(offset, path):
        at = root + (offset & 0x7FFFFFFF)
        if offset & 0x80000000:
            for (name, child) in entries(at):
                yield from leaves(child, path + [name])
        else:
            rva, size = struct.unpack_from('<II', image.data, at)
            yield path, image.data[image.offset_of(rva):image.offset_of(rva) + size]

    for (name, child) in entries(root):
        if name == type_id:
            for path, data in leaves(child, [name]):
                yield '/'.join(str(part) for part in path[1:]), data


def rle_faults(name, dib):
    """The faults of one run-length coded bitmap (a DIB: header, colours, bits)."""
    (header_size, width, height, _, bits, compression) = struct.unpack_from('<IiiHHI', dib, 0)
    if compression not in (1, 2):
        return []
    if (compression, bits) not in ((1, 8), (2, 4)):
        return ['bitmap %s: compression %d with %d bits a pixel' % (name, compression, bits)]
    used = struct.unpack_from('<I', dib, 32)[0] or 1 << bits
    at = header_size + 4 * used
    rows, pixels, faults, bad_rows = 0, 0, [], []
    while True:
        if at + 2 > len(dib):
            faults.append('bitmap %s: the codes end without the end-of-bitmap code' % name)
            break
        count, value = dib[at], dib[at + 1]
        at += 2
        if count > 0:
            pixels += count
            continue
        if value in (0, 1):
            # The end of the bitmap right after a row's end closes no row of its own.
            if value == 0 or pixels > 0 or rows < abs(height):
                if pixels != width:
                    bad_rows.append('%d (%d)' % (rows, pixels))
                rows += 1
            pixels = 0
            if value == 1:
                break
        elif value == 2:
            faults.append('bitmap %s: a delta code in row %d' % (name, rows))
            break
        else:
            pixels += value
            size = value if bits == 8 else (value + 1) // 2
            at += size + (size & 1)
    if bad_rows:
        faults.append('bitmap %s: %d rows code other than its width of %d pixels: rows %s%s' % (
            name, len(bad_rows), width, ', '.join(bad_rows[:5]), ', ...' if len(bad_rows) > 5 else ''))
    if rows != abs(height) and not faults:
        faults.append('bitmap %s: %d rows coded, not its height %d' % (name, rows, abs(height)))
    return faults


def faults_of(path, win95):
    with open(path, 'rb') as file:
        image = Image(file.read())
    yield from section_faults(image)
    yield from iat_faults(image)
    if win95:
        yield from win95_directory_faults(image)
    for name, dib in resources(image, RT_BITMAP):
        yield from rle_faults(name, dib)


def main(arguments):
    win95 = arguments[:1] == ['--win95']
    paths = arguments[1:] if win95 else arguments
    failed = False
    for path in paths:
        try:
            faults = list(faults_of(path, win95))
        except (ValueError, struct.error, IndexError) as error:
            faults = ['cannot be read: %s' % error]
        for fault in faults:
            print('%s: %s' % (path, fault))
            failed = True
    return 1 if failed else 0


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit('usage: check_pe.py [--win95] PROGRAM.exe...')
    sys.exit(main(sys.argv[1:]))
