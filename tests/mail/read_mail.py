#!/usr/bin/env python3
"""Reads one delivered message back with Python's email package.

usage: read_mail.py BASE        (BASE.eml and BASE.json, as smtp_server.py
                                 stores them)

Prints records "KEY\tVALUE", each ending in NUL:
  envelope-from, envelope-to (recipients joined by " "), tls, authenticated
  header NAME       each header, encoded words decoded (repeated names
                    joined by " | ")
  body-type, body   the text part, decoded, line ends as "\n"
  attachment-type, attachment-name, attachment-hex    the MIME attachment
  uu-name, uu-hex, body-before-uu   a uuencoded block found in the body
  defects           problems the parser found, joined by "; "
  longest-line      the longest raw line, in bytes, without its line end
  date-ok           "1" when Date parses as an RFC 5322 date
"""
import binascii
import email
import email.policy
import email.utils
import json
import sys


def main():
    base = sys.argv[1]
    raw = open(base + ".eml", "rb").read()
    envelope = json.load(open(base + ".json"))
    out = []

    def put(key, value):
        out.append("%s\t%s" % (key, value))

    put("envelope-from", envelope["from"])
    put("envelope-to", " ".join(envelope["to"]))
    put("tls", int(envelope["tls"]))
    put("authenticated", int(envelope["authenticated"]))

    msg = email.message_from_bytes(raw, policy=email.policy.default)
    names = []
    for name in msg.keys():
        if name not in names:
            names.append(name)
    for name in names:
        put("header " + name, " | ".join(str(v) for v in msg.get_all(name)))

    body = msg.get_body(preferencelist=("plain", "html"))
    text = body.get_content().replace("\r\n", "\n")
    put("body-type", body.get_content_type())
    begin = text.find("begin 644 ")
    if begin >= 0:
        put("body-before-uu", text[:begin])
        lines = text[begin:].split("\n")
        put("uu-name", lines[0][len("begin 644 "):])
        data = b""
        for line in lines[1:]:
            if line == "end":
                break
            data += binascii.a2b_uu(line)
        put("uu-hex", data.hex())
    put("body", text)

    for part in msg.iter_attachments():
        put("attachment-type", part.get_content_type())
        put("attachment-name", part.get_filename())
        put("attachment-hex", part.get_payload(decode=True).hex())

    defects = [repr(d) for part in msg.walk() for d in part.defects]
    put("defects", "; ".join(defects))
    put("longest-line", max(len(line) for line in raw.split(b"\r\n")))
    try:
        put("date-ok", int(email.utils.parsedate_to_datetime(msg["Date"]) is not None))
    except (TypeError, ValueError):
        put("date-ok", 0)
    sys.stdout.write("".join(record + "\0" for record in out))


main()
