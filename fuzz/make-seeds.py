#!/usr/bin/env python3
"""Writes the seed inputs of every fuzz target into fuzz/corpus/<target>/.

The seeds are a handful of well-formed and deliberately broken inputs per
target, in the input layout each target's body documents. Running this again
rewrites them byte for byte.
"""
import pathlib
import shutil
import struct

FUZZ = pathlib.Path(__file__).resolve().parent
MIB = 1048576


def write_corpus(target, seeds):
    folder = FUZZ / "corpus" / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


# --- handle_request: u16 length, then the request, for each request ---------

def fields(*values):
    """i32 values, or (format, value) pairs for other widths."""
    out = b""
    for value in values:
        fmt, value = value if isinstance(value, tuple) else ("<i", value)
        out += struct.pack(fmt, value)
    return out


def requests(*messages):
    return b"".join(struct.pack("<H", len(m)) + m for m in messages)


DESCRIBE, OPEN_PACKAGED, FETCH_PACKAGED, BATCH, OPEN_MEDIA = 25601, 25602, 25603, 25604, 25605
H264, HEVC, PACKAGED, MISSING_MEDIA, MISSING_PACKAGED = range(5)


def batch(video=-1, audio=-1, subtitle=-1, seek=0, position=0):
    return fields(BATCH, seek, ("<Q", position), video, audio, subtitle)


def fetch(title, first_record, chunks=()):
    body = fields(FETCH_PACKAGED, title, first_record)
    for first_tag, second_tag, start, end in chunks:
        body += fields(first_tag, second_tag, ("<q", start), ("<q", end))
    return body


handle_request = {
    "describe-every-title": requests(
        *[fields(DESCRIBE, title) for title in range(5)],
        fields(DESCRIBE, 99), fields(DESCRIBE)),
    "open-media-and-play-to-the-end": requests(
        fields(OPEN_MEDIA, H264), *[batch(0, 1, 2)] * 6),
    "batch-without-media": requests(batch(0, 1, 2), fields(BATCH)),
    "seek-and-choose-streams": requests(
        fields(OPEN_MEDIA, H264), batch(0, 1, 2, seek=1, position=500000),
        batch(-1, 1, 2), batch(0, 0, -1, seek=1, position=0), batch(5, 7, 9)),
    "hevc-batches": requests(fields(OPEN_MEDIA, HEVC), *[batch(0)] * 3),
    "open-media-failures": requests(
        fields(OPEN_MEDIA, MISSING_MEDIA), fields(OPEN_MEDIA, PACKAGED), fields(OPEN_MEDIA, 99),
        fields(OPEN_MEDIA, -1), fields(OPEN_MEDIA), batch(0, 1, 2)),
    "open-and-fetch-packaged": requests(
        fields(OPEN_PACKAGED, PACKAGED),
        fetch(PACKAGED, 0, [(7, 3, 0, 100), (7, 4, 100, 100)]),
        fetch(PACKAGED, 240, [(1, 1, 199000, 201000)]),
        fetch(PACKAGED, 1000, [(2, 2, 4 * MIB, 4 * MIB + 1000)])),
    "fetch-before-open": requests(
        fetch(PACKAGED, 0, [(0, 0, 0, 24)]), fetch(MISSING_PACKAGED, 0, [(0, 1, 0, 64)]),
        fields(OPEN_PACKAGED, MISSING_PACKAGED), fetch(PACKAGED, 5)),
    "packaged-refusals": requests(
        fields(OPEN_PACKAGED, 99), fetch(-1, 0), fetch(5, 0), fields(OPEN_PACKAGED),
        fetch(PACKAGED, -3, [(1, 1, 10, 5), (1, 1, 0, 10)]),
        fetch(PACKAGED, 0, [(-1, 0, 0, 10)]),
        fetch(PACKAGED, 0, [(0, 0, 0, 64 * MIB + 1)]),
        fetch(PACKAGED, 0, [(0, 0, 0, 1 << 31)])),
    "unknown-and-short-requests": requests(
        fields(25606), fields(0), fields(25600, 1), b"\x01\x64\x00", b"\x05", fields(-1)),
    "switch-between-titles": requests(
        fields(OPEN_MEDIA, H264), fields(OPEN_PACKAGED, PACKAGED), batch(0, 1, 2),
        fields(OPEN_MEDIA, HEVC), fetch(PACKAGED, 0, [(3, 3, 0, 8)]), batch(0)),
    "many-chunks": requests(
        fetch(PACKAGED, 0, [(i, i, i * 1000, i * 1000 + 7) for i in range(340)])),
}


# --- packaged_movie: the bytes of a file ------------------------------------

def packaged_movie(kind=100002, width=4, height=2, byte_count=None, extra=b"",
                   records=b"", data=b"", header_size=None, data_offset=None,
                   record_count=None):
    byte_count = width * height * 4 if byte_count is None else byte_count
    pixels = bytes((i * 7) % 256 for i in range(max(byte_count, 0)))
    header = struct.pack("<qiii", kind, width, height, byte_count) + pixels + extra
    header_size = len(header) if header_size is None else header_size
    record_count = len(records) // 24 if record_count is None else record_count
    data_offset = len(header) + 4 + len(records) if data_offset is None else data_offset
    return (struct.pack("<ii", data_offset, header_size) + header +
            struct.pack("<i", record_count) + records + data)


RECORDS = bytes(i % 251 for i in range(3 * 24))
packaged = {
    "sound": packaged_movie(extra=b"opaque", records=RECORDS, data=b"D" * 64),
    "no-records": packaged_movie(),
    "records-cut-short": packaged_movie(records=RECORDS, record_count=10),
    "negative-record-count": packaged_movie(record_count=-1),
    "header-past-the-end": packaged_movie(header_size=4096),
    "data-offset-too-small": packaged_movie(data_offset=20),
    "data-offset-too-large": packaged_movie(data_offset=0x0F000000),
    "ordinary-media-kind": packaged_movie(kind=100001),
    "pixel-count-mismatch": packaged_movie(byte_count=31),
    "pixels-past-the-end": packaged_movie()[:30],
    "huge-thumbnail": packaged_movie(width=32768, height=16384, byte_count=0)[:28],
    "only-the-offsets": struct.pack("<ii", 100, 20),
    "empty": b"",
}


# --- parameter_sets: extradata ----------------------------------------------

def box_payload(path, box_type):
    data = (FUZZ / "media" / path).read_bytes()
    at = data.index(box_type)
    size = struct.unpack(">I", data[at - 4:at])[0]
    return data[at + 4:at - 4 + size]


def avc_record(sps, pps, count_byte=None):
    out = bytes([1, 0x64, 0, 0x1E, 0xFF, 0xE0 | len(sps) if count_byte is None else count_byte])
    for unit in sps:
        out += struct.pack(">H", len(unit)) + unit
    out += bytes([len(pps)])
    for unit in pps:
        out += struct.pack(">H", len(unit)) + unit
    return out


def hevc_record(arrays):
    out = bytes([1]) + bytes(21) + bytes([len(arrays)])
    for unit_type, units in arrays:
        out += bytes([0x80 | unit_type]) + struct.pack(">H", len(units))
        for unit in units:
            out += struct.pack(">H", len(unit)) + unit
    return out


SPS, PPS = b"\x67\x64\x00\x1e\xac", b"\x68\xee\x3c\x80"
VPS, HSPS, HPPS = b"\x40\x01\x0c\x01", b"\x42\x01\x01\x01", b"\x44\x01\xc1\x72"
parameter_sets = {
    "avc-record-from-media": box_payload("h264-aac-text.mp4", b"avcC"),
    "hevc-record-from-media": box_payload("hevc.mp4", b"hvcC"),
    "avc-two-sps-one-pps": avc_record([SPS, SPS + b"\x01"], [PPS]),
    "avc-no-sps": avc_record([], [PPS]),
    "avc-unit-past-the-end": avc_record([SPS], [PPS])[:-2],
    "avc-count-past-the-end": avc_record([SPS], [PPS])[:6],
    "hevc-three-arrays": hevc_record([(32, [VPS]), (33, [HSPS]), (34, [HPPS, HPPS])]),
    "hevc-sei-arrays": hevc_record([(39, [b"\x4e\x01\x05"]), (40, [b"\x50\x01\x05"])]),
    "hevc-slice-array": hevc_record([(32, [VPS]), (1, [b"\x02\x01"])]),
    "hevc-unit-past-the-end": hevc_record([(32, [VPS])])[:-1],
    "annexb-avc": b"\x00\x00\x00\x01" + SPS + b"\x00\x00\x01" + PPS + b"\x00\x00\x01\x65\x88\x00",
    "annexb-hevc": (b"\x00\x00\x00\x01" + VPS + b"\x00\x00\x01" + HSPS + b"\x00\x00\x01" +
                    HPPS + b"\x00\x00\x00\x01\x26\x01\xaf" + b"\x00\x00\x01\x4e\x01\x05\x00"),
    "empty": b"",
}


# --- memory_reader and block_cache_reader: operations on a reader ------------

SEEK_NEAR, SEEK_FAR, READ, READ_ALL, READ_INT32, READ_INTO_NULL = range(6)
READ_AHEAD, READ_AHEAD_ALL, SET_BLOCK_SIZE, LOAD_BLOCK, CUT_FILE, ADVANCE_CLOCK = range(6, 12)


def seek(offset, origin, far=False):
    if far:
        return struct.pack("<BqB", SEEK_FAR, offset, origin)
    return struct.pack("<BiB", SEEK_NEAR, offset, origin)


def read(count):
    return struct.pack("<BI", READ, count)


def op(code, fmt="", *values):
    return struct.pack("<B" + fmt, code, *values)


def memory_reader_input(length, null_data, *operations):
    return struct.pack("<HB", length, 1 if null_data else 0) + b"".join(operations)


memory_reader = {
    "seeks-around-ten-bytes": memory_reader_input(
        10, False, seek(10, 0), seek(11, 0), seek(-4, 2), seek(-7, 1), read(3), seek(0, 3),
        op(READ_INT32), op(READ_INT32)),
    "short-typed-read": memory_reader_input(3, False, op(READ_INT32), read(1)),
    "read-everything": memory_reader_input(
        300, False, read(7), op(READ_ALL, "B", 0), seek(-(1 << 63), 1, far=True), seek(0, 0),
        op(READ_INTO_NULL, "I", 5), read(1000)),
    "null-data": memory_reader_input(50, True, read(4), seek(0, 2), op(READ_INT32)),
    "far-seeks": memory_reader_input(
        64, False, seek((1 << 63) - 1, 1, far=True), seek(-1, 0, far=True),
        seek(-65, 2, far=True), seek(64, 2, far=True)),
}


def on_second(operation):
    """The operation on the second reader of the shared cache."""
    return bytes([operation[0] | 0x80]) + operation[1:]


def block_cache_input(mib, delta, block_request, *operations, without_source=False):
    shape = mib | (0x80 if without_source else 0)
    return struct.pack("<Bhh", shape, delta, block_request) + b"".join(operations)


block_cache_reader = {
    "read-across-blocks": block_cache_input(
        2, 0, 0, seek(MIB - 4, 0), read(100), op(READ_AHEAD, "I", MIB), seek(0, 2), read(1),
        op(LOAD_BLOCK), seek(-1, 2), op(LOAD_BLOCK), read(10)),
    "odd-blocks-and-read-ahead": block_cache_input(
        2, 12345, 1000, op(READ_AHEAD_ALL, "B", 0), op(READ_ALL, "B", 0), seek(-2 * MIB, 2),
        read(2 * MIB), op(SET_BLOCK_SIZE, "h", -2000), read(MIB)),
    "file-cut-behind-the-reader": block_cache_input(
        2, -77, 300, op(READ_AHEAD, "I", 2 * MIB), op(CUT_FILE, "I", MIB + 5), read(2 * MIB),
        seek(0, 0), op(READ_ALL, "B", 3)),
    "without-source": block_cache_input(
        1, 0, 0, read(10), op(LOAD_BLOCK), op(READ_AHEAD, "I", 100), seek(0, 2),
        without_source=True),
    "empty-file": block_cache_input(0, -5, -1, read(1), op(LOAD_BLOCK), seek(0, 0), seek(1, 0),
                                    op(READ_INT32)),
    "age-rule-recycles-read-blocks": block_cache_input(
        2, 30000, 0, read(1), seek(MIB, 0), read(1), op(ADVANCE_CLOCK, "H", 30000),
        seek(2 * MIB, 0), read(10), op(ADVANCE_CLOCK, "H", 3000), seek(0, 0), read(5)),
    "far-seeks": block_cache_input(
        1, 100, 0, seek((1 << 63) - 1, 1, far=True), seek(-(1 << 63), 2, far=True),
        seek(MIB + 100, 0), seek(1, 1), read(5)),
    "two-readers-share-blocks": block_cache_input(
        2, 500, 0, read(MIB + 3), on_second(seek(MIB - 10, 0)), on_second(read(100)),
        on_second(op(READ_AHEAD, "I", MIB)), op(SET_BLOCK_SIZE, "h", 40),
        op(CUT_FILE, "I", MIB + 50), on_second(read(MIB)), seek(0, 0), read(MIB + 100),
        op(ADVANCE_CLOCK, "H", 30000), on_second(seek(0, 0)), on_second(op(READ_ALL, "B", 0))),
}


if __name__ == "__main__":
    write_corpus("handle_request", handle_request)
    write_corpus("packaged_movie", packaged)
    write_corpus("parameter_sets", parameter_sets)
    write_corpus("memory_reader", memory_reader)
    write_corpus("block_cache_reader", block_cache_reader)
