"""Writes minimal TNEF (winmail.dat) files: a message with file attachments.

Enough of the format for tnef to extract the attachments: the signature, the
version and code page attributes, and per attachment its rendering data,
title (the file name) and data, each attribute with its checksum.
"""

import struct

SIGNATURE = 0x223E9F78
LEVEL_MESSAGE, LEVEL_ATTACHMENT = 1, 2
ATT_TNEF_VERSION = 0x00089006
ATT_OEM_CODEPAGE = 0x00069007
ATT_ATTACH_REND_DATA = 0x00069002
ATT_ATTACH_TITLE = 0x00018010
ATT_ATTACH_DATA = 0x0006800F


def _attribute(out, level, attribute, data, checksum=None):
    """Writes one attribute; checksum defaults to the sum of the data bytes."""
    if checksum is None:
        checksum = _checksum(data)
    out.write(struct.pack("<BII", level, attribute, len(data)))
    out.write(data)
    out.write(struct.pack("<H", checksum & 0xFFFF))


def _checksum(data):
    total = 0
    view = memoryview(data)
    for start in range(0, len(view), 1 << 20):
        total += sum(view[start:start + (1 << 20)])
    return total & 0xFFFF


def write_tnef(out, attachments, corrupt_checksum_of=None):
    """Writes a TNEF stream to the binary file out.

    attachments is a list of (file name, bytes). When corrupt_checksum_of names
    an attachment, the checksum of its data is made wrong.
    """
    out.write(struct.pack("<IH", SIGNATURE, 0x0001))
    _attribute(out, LEVEL_MESSAGE, ATT_TNEF_VERSION, struct.pack("<I", 0x00010000))
    _attribute(out, LEVEL_MESSAGE, ATT_OEM_CODEPAGE, struct.pack("<II", 1252, 0))
    for name, data in attachments:
        rend = struct.pack("<HIHHI", 1, 0xFFFFFFFF, 0xFFFF, 0xFFFF, 0)
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_REND_DATA, rend)
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_TITLE, name.encode() + b"\0")
        checksum = None
        if name == corrupt_checksum_of:
            checksum = _checksum(data) + 1
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_DATA, data, checksum)
