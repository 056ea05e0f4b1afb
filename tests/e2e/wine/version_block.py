#!/usr/bin/env python3
"""A version resource as an indented tree: the fixed part's fields, then
each block and value in file order. Run alone, it reads the resource from
stdin and prints the tree."""
import struct
import sys


def fixed_info(data):
    fields = struct.unpack_from("<13I", data)
    (signature, _struc, file_ms, file_ls, product_ms, product_ls, flags_mask, flags, os,
     file_type, subtype, date_ms, date_ls) = fields
    if signature != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO signature")

    def version(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    return (f"fixed file={version(file_ms, file_ls)} product={version(product_ms, product_ls)} "
            f"mask={flags_mask} flags={flags} os={os} type={file_type} subtype={subtype} "
            f"date={date_ms}.{date_ls}")


def node(data, offset, depth, out):
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    p = offset + 6
    key = ""
    while True:
        (c,) = struct.unpack_from("<H", data, p)
        p += 2
        if c == 0:
            break
        key += chr(c)
    p = (p + 3) & ~3
    indent = "  " * depth
    if key == "VS_VERSION_INFO":
        out.append(f"{indent}{key}")
        out.append(f"{indent}  {fixed_info(data[p:p + value_length])}")
        p += value_length
    elif kind == 1 and value_length:
        text = data[p:p + value_length * 2].decode("utf-16-le").rstrip("\0")
        out.append(f"{indent}{key} = {text}")
        p += value_length * 2
    elif value_length:
        words = struct.unpack_from(f"<{value_length // 2}H", data, p)
        out.append(f"{indent}{key} = " + " ".join(f"0x{w:04X}" for w in words))
        p += value_length
    else:
        out.append(f"{indent}{key}")
    end = offset + length
    p = (p + 3) & ~3
    while p < end:
        p = (node(data, p, depth + 1, out) + 3) & ~3
    return end


def describe(data):
    """The tree of a version resource's bytes, one line a node."""
    if len(data) < 6:
        raise ValueError("empty version resource")
    out = []
    node(data, 0, 0, out)
    return "\n".join(out)


def main():
    try:
        print(describe(sys.stdin.buffer.read()))
    except ValueError as error:
        raise SystemExit(str(error))


if __name__ == "__main__":
    main()
