#!/usr/bin/env python3
"""Writes the binding fuzzer's seed corpus (fuzz/corpus/).

Each seed is a series of operations in the fuzzer's input format (see
fuzz_binding.cpp) with the byte stream that the hostile library draws its
answers from (see hostile_library.cpp).  The seeds lead the fuzzer straight to
a successful connection, found and missing cards, the benchmark's measured,
quietly stopped and failed series, the error messages and the end and start
hooks.
"""
import pathlib
import struct

# Operations of the fuzzer.
LIBRARY_INFO, COMM_LIST, ERROR_MESSAGE, CONNECT, FIND_CARD, BENCHMARK, DISCONNECT, UNLOAD, \
    START, CARD_TYPE_NAME = range(10)

# Status bytes of the hostile library's stream.
OK = b"\x00"
NO_CARD = b"\xa0"          # -1
NOT_SUPPORTED = b"\xa1"    # -100
STOP_243 = b"\xa2"         # -243
FAILED_12 = b"\xaa"        # -12


def status(value):
    """Any 16-bit status."""
    return b"\xe0" + struct.pack("<h", value)


def text(data, terminator=True):
    """A text of at most 255 bytes, taken from the stream."""
    return bytes([0x00 if terminator else 0x08, len(data)]) + data


def whole_buffer(fill, terminator=False):
    """The whole buffer filled with one byte."""
    return bytes([0x11 | (0x00 if terminator else 0x08), fill])


def word(value):
    return b"\x01" + struct.pack("<I", value)


def operation(code, feed=b"", params=b""):
    return bytes([code]) + params + struct.pack("<H", len(feed)) + feed


def connect(device, settings, feed):
    return operation(CONNECT, feed, bytes([len(device)]) + device + struct.pack("<I", settings))


def benchmark(ticks, feed=b""):
    return operation(BENCHMARK, feed, struct.pack("<6I", *ticks))


def error_message(code, feed):
    return operation(ERROR_MESSAGE, feed, struct.pack("<h", code))


CONNECTED = (OK + OK                                   # settings, open
             + OK + text(b"USB")                       # device
             + OK + text(b"Qarn Demo Reader 1.61")      # firmware
             + OK + b"\x05" + bytes.fromhex("8820014C02") + b"\x04" + bytes.fromhex("3A910F6C")
             + OK + word(0x4D)                         # settings in effect
             + OK + word(199186)                       # consts
             + OK + word(0x0047F361)                   # features
             + OK)                                     # RF off

SEEDS = {
    "connect_success": operation(LIBRARY_INFO, OK + text(b"Norvane API 4.2.1"))
    + connect(b"USB", 0x1D, CONNECTED)
    + connect(b"", 0x14, OK + OK + CONNECTED[2:])
    + operation(DISCONNECT),

    "connect_failures": connect(b"COM3", 0x10, OK + NO_CARD)
    + connect(b"", 0x10, OK + status(-1002))
    + connect(b"USB", 0x1D, OK + OK + OK + text(b"USB") + status(-1001))
    + connect(b"USB", 0x1D, CONNECTED[:-(1 + 5 + 1 + 5 + 1)] + NOT_SUPPORTED + word(7)
              + NOT_SUPPORTED + b"\x00" + OK)
    + connect(b"USB", 0x18, OK + OK + OK + whole_buffer(ord("d")) + OK + text(b"fw", False)
              + FAILED_12 + b"\x11" + b"\xff" * 17 + b"\x00"),

    "find_card": operation(FIND_CARD, OK + b"\x07" + struct.pack("<H", 1) + b"\x04"
                           + bytes.fromhex("04A2197F") + b"\x04" + OK)
    + operation(FIND_CARD, NO_CARD + b"\x00" + OK)
    + operation(FIND_CARD, OK + b"\x07" + struct.pack("<H", 0x1234) + b"\x0c" + bytes(range(12))
                + b"\xff" + status(-5))
    + operation(FIND_CARD, OK + b"\x03" + struct.pack("<H", 0x80) + b"\x00" + OK)
    + operation(CARD_TYPE_NAME, params=struct.pack("<H", 0x0040)),

    "benchmark": benchmark([1000, 1050, 1050, 1175, 0xFFFFFF00, 0x00000100])
    + benchmark([0, 25, 25, 50, 50, 75], OK * 53 + STOP_243)
    + benchmark([0, 2500, 2500, 5000, 5000, 7500], OK * 54 + FAILED_12)
    + benchmark([0] * 6, OK * 30 + NOT_SUPPORTED)
    + benchmark([0] * 6, status(-3))
    + benchmark([0] * 6, OK * 10 + status(-1000)),

    "messages_and_hooks": operation(COMM_LIST, OK + text(b"COM1=a\nCOM2=b\r\nCOM3=c"))
    + operation(COMM_LIST, OK + whole_buffer(ord("\n")))
    + error_message(-999, text(b"library -999"))
    + error_message(-12, b"\x20")
    + error_message(-1002, b"")
    + error_message(0, text(b""))
    + error_message(-20000, b"")
    + operation(DISCONNECT)
    + operation(UNLOAD)
    + operation(LIBRARY_INFO)
    + error_message(-5, b"")
    + connect(b"USB", 0, b"")
    + operation(UNLOAD)
    + operation(START)
    + operation(LIBRARY_INFO, OK + whole_buffer(ord("v"))),
}


def main():
    folder = pathlib.Path(__file__).resolve().parent / "corpus"
    folder.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (folder / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")


if __name__ == "__main__":
    main()
