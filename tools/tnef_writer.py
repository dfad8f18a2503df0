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
ATT_MAPI_PROPS = 0x00069003
ATT_ATTACHMENT = 0x00069005
PT_BINARY = 0x0102
PT_STRING8 = 0x001E
PR_RTF_COMPRESSED = 0x1009
PR_ATTACH_MIME_TAG = 0x370E
PR_ATTACH_CONTENT_ID = 0x3712


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


# The dictionary of compressed RTF starts with this text.
_RTF_PREBUFFER = (b"{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
                  b"\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New "
                  b"RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
                  b"\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx")


def _crc32(data):
    """The CRC of compressed RTF: CRC-32's table, no inversion."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xEDB88320 if crc & 1 else 0)
    return crc


def _compress_rtf(rtf):
    """rtf as compressed RTF made of literal runs, ended by the end marker."""
    out = bytearray()
    for start in range(0, len(rtf), 8):
        out.append(0)
        out += rtf[start:start + 8]
    # The end marker: a reference to the dictionary's write position. It takes
    # a control byte of its own when the last run was full.
    end = (len(_RTF_PREBUFFER) + len(rtf)) % 4096
    marker = struct.pack(">H", end << 4)
    if len(rtf) % 8 == 0:
        out += bytes([1]) + marker
    else:
        run = len(rtf) % 8
        out[-(run + 1)] = 1 << run
        out += marker
    header = struct.pack("<IIII", len(out) + 12, len(rtf), 0x75465A4C, _crc32(out))
    return header + bytes(out)


def _rtf_body(rtf):
    """The message property holding rtf as compressed RTF."""
    compressed = _compress_rtf(rtf)
    padding = b"\0" * (-len(compressed) % 4)
    return (struct.pack("<IHHII", 1, PT_BINARY, PR_RTF_COMPRESSED, 1, len(compressed)) +
            compressed + padding)



def _string_props(props):
    """MAPI properties holding 8-bit strings: props maps property id to bytes."""
    data = struct.pack("<I", len(props))
    for prop, value in props.items():
        value += b"\0"
        data += struct.pack("<HHII", PT_STRING8, prop, 1, len(value))
        data += value + b"\0" * (-len(value) % 4)
    return data


def write_tnef(out, attachments, corrupt_checksum_of=None, body_rtf=None, code_page=1252):
    """Writes a TNEF stream to the binary file out.

    attachments is a list of (file name, bytes) or (file name, bytes, mime tag,
    content id); a name given as str is written as UTF-8, bytes as they are.
    When corrupt_checksum_of names an attachment, the checksum of its data is
    made wrong. body_rtf (bytes) is the message's RTF body.
    """
    out.write(struct.pack("<IH", SIGNATURE, 0x0001))
    _attribute(out, LEVEL_MESSAGE, ATT_TNEF_VERSION, struct.pack("<I", 0x00010000))
    _attribute(out, LEVEL_MESSAGE, ATT_OEM_CODEPAGE, struct.pack("<II", code_page, 0))
    if body_rtf is not None:
        _attribute(out, LEVEL_MESSAGE, ATT_MAPI_PROPS, _rtf_body(body_rtf))

    for name, data, *tags in attachments:
        rend = struct.pack("<HIHHI", 1, 0xFFFFFFFF, 0xFFFF, 0xFFFF, 0)
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_REND_DATA, rend)
        raw_name = name.encode() if isinstance(name, str) else name
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_TITLE, raw_name + b"\0")
        checksum = None
        if name == corrupt_checksum_of:
            checksum = _checksum(data) + 1
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_DATA, data, checksum)
        if tags:
            mime_tag, content_id = tags
            _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACHMENT, _string_props(
                {PR_ATTACH_MIME_TAG: mime_tag.encode(), PR_ATTACH_CONTENT_ID: content_id.encode()}))
