#!/usr/bin/env python3
"""Prints the MIME structure of messages: one line per part with its content
type, file name and decoded size. With --show-html, also the start of each
text/html part's text. Used by the demo to show what a conversion changed."""

import email
import email.policy
import re
import sys


def outline(part, depth, show_html):
    name = part.get_filename()
    payload = b"" if part.is_multipart() else (part.get_payload(decode=True) or b"")
    size = "" if part.is_multipart() else f"{len(payload)} bytes"
    label = f' "{name}"' if name else ""
    print(f"    {'  ' * depth}{part.get_content_type()}{label} {size}".rstrip())
    if show_html and part.get_content_type() == "text/html":
        text = re.sub(r"<[^>]*>", " ", payload.decode("utf-8", "replace"))
        text = " ".join(text.split())[:160]
        print(f"    {'  ' * depth}  | {text}")
    if part.is_multipart():
        for sub in part.get_payload():
            outline(sub, depth + 1, show_html)


def main():
    show_html = "--show-html" in sys.argv
    for path in [a for a in sys.argv[1:] if a != "--show-html"]:
        with open(path, "rb") as f:
            data = f.read()
        # Queue files begin with envelope lines the parser takes as headers.
        message = email.message_from_bytes(data, policy=email.policy.compat32)
        print(f"  {path}: {message.get('Subject', '')}")
        outline(message, 0, show_html)


if __name__ == "__main__":
    main()
