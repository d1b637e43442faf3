#!/usr/bin/env python3
"""Real SMTP servers (aiosmtpd) on loopback for the mail tests.

usage: smtp_server.py FOLDER CERT KEY USER PASSWORD

Starts one listener per variant on a free port of 127.0.0.1 and prints
"NAME PORT" for each, then "ready". Every message a listener accepts is
stored in FOLDER/NAME/ as N.eml (the data as received, dots unstuffed) and
N.json (envelope sender and recipients, whether TLS and AUTH were in use);
every AUTH attempt is appended to FOLDER/NAME/auth.log, so a test can tell
that a password never arrived. Addresses containing "refused" are refused
at MAIL or RCPT with a 550 reply; a sender containing "stalled" gets no
reply at all. Runs until it is terminated (at most five
minutes, so that a crashed test leaves nothing behind).

Variants:
  plain      no AUTH, no TLS
  auth-plain AUTH PLAIN only, required, offered without TLS
  auth-login AUTH LOGIN only, required, offered without TLS
  starttls   STARTTLS required before MAIL; AUTH required, only after TLS
"""
import asyncio
import json
import logging
import os
import socket
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        os.makedirs(folder, exist_ok=True)

    async def handle_MAIL(self, server, session, envelope, address, options):
        if "refused" in address:
            return "550 5.1.0 <%s>: Sender address rejected by the test" % address
        if "stalled" in address:
            await asyncio.sleep(600)
        envelope.mail_from = address
        envelope.mail_options.extend(options)
        return "250 2.1.0 Ok"

    async def handle_RCPT(self, server, session, envelope, address, options):
        if "refused" in address:
            return "550 5.1.1 <%s>: Recipient address rejected by the test" % address
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(options)
        return "250 2.1.5 Ok"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".json", "w") as f:
            json.dump({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                       "tls": session.ssl is not None,
                       "authenticated": bool(session.authenticated)}, f)
        return "250 2.0.0 Ok: queued as %d" % self.count

    def authenticator(self, user, password):
        def check(server, session, envelope, mechanism, data):
            ok = (isinstance(data, LoginPassword) and data.login == user.encode()
                  and data.password == password.encode())
            with open(os.path.join(self.folder, "auth.log"), "a") as f:
                f.write("%s %s %s\n" % (mechanism, session.ssl is not None, ok))
            # handled=False: the server itself answers 535 on a failure.
            return AuthResult(success=ok, handled=False)
        return check


async def main():
    # Refused handshakes and AUTH without TLS are what some tests are about:
    # the server's warnings about them would only be noise.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.simplefilter("ignore")
    folder, cert, key, user, password = sys.argv[1:6]
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(cert, key)
    loop = asyncio.get_running_loop()

    def variant(name, **options):
        store = Store(os.path.join(folder, name))
        if options.pop("auth", False):
            options["authenticator"] = store.authenticator(user, password)
            options["auth_required"] = True
        return name, lambda: SMTP(store, hostname="localhost", **options)

    variants = [
        variant("plain"),
        variant("auth-plain", auth=True, auth_require_tls=False, auth_exclude_mechanism=["LOGIN"]),
        variant("auth-login", auth=True, auth_require_tls=False, auth_exclude_mechanism=["PLAIN"]),
        variant("starttls", auth=True, tls_context=tls, require_starttls=True, auth_require_tls=True),
    ]
    for name, factory in variants:
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind(("127.0.0.1", 0))
        await loop.create_server(factory, sock=sock)
        print(name, sock.getsockname()[1], flush=True)
    print("ready", flush=True)
    await asyncio.sleep(300)


asyncio.run(main())
