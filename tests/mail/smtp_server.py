#!/usr/bin/env python3
"""SMTP servers (aiosmtpd) on loopback for the mail tests: smtp_server.py FOLDER USER PASSWORD.
Prints "pid N", "NAME PORT" per listener and "ready"; runs until terminated, five minutes at most. plain: AUTH
without TLS; tls: STARTTLS first (certificate FOLDER/cert.pem); silent: never answers; closed: refuses. A message
is kept as FOLDER/NAME/N.eml and N.txt (records "KEY\\tVALUE\\0", see read()); each AUTH adds "MECHANISM TLS OK"
to FOLDER/NAME/auth.log. Addresses holding "refused" get a 550, a sender holding "stalled" no reply."""
import asyncio, binascii, email.policy, logging, os, socket, ssl, subprocess, sys, warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def read(raw, out):
    """Headers decoded, text body, MIME attachment or uuencoded block, defects, longest line, Date."""
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    for name in dict.fromkeys(msg.keys()):
        out["header " + name] = " | ".join(str(v) for v in msg.get_all(name))
    out["body"] = text = msg.get_body(("plain", "html")).get_content().replace("\r\n", "\n")
    if (begin := text.find("begin 644 ")) >= 0:
        lines = text[begin:].split("\n")
        out.update({"body-before-uu": text[:begin], "uu-name": lines[0][10:],
                    "uu-hex": b"".join(binascii.a2b_uu(x) for x in lines[1:lines.index("end")]).hex()})
    for part in msg.iter_attachments():
        out.update({"attachment-type": part.get_content_type(), "attachment-name": part.get_filename(),
                    "attachment-hex": part.get_payload(decode=True).hex()})
    out["defects"] = "; ".join(repr(d) for part in msg.walk() for d in part.defects)
    out["longest-line"] = max(len(line) for line in raw.split(b"\r\n"))
    out["date-ok"] = int(msg["Date"].datetime is not None)
    return "".join("%s\t%s\0" % record for record in out.items())


class Store:
    def __init__(self, folder, user, password):
        self.folder, self.count, self.login = folder, 0, (user.encode(), password.encode())
        os.makedirs(folder)

    async def handle_MAIL(self, server, session, envelope, address, options):
        if "stalled" in address:
            await asyncio.sleep(600)
        envelope.mail_from = address
        return "550 5.1.0 <%s>: Sender address rejected" % address if "refused" in address else "250 2.1.0 Ok"

    async def handle_RCPT(self, server, session, envelope, address, options):
        return ("550 5.1.1 <%s>: Recipient address rejected" % address if "refused" in address
                else envelope.rcpt_tos.append(address) or "250 2.1.5 Ok")

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        facts = {"envelope-from": envelope.mail_from, "envelope-to": " ".join(envelope.rcpt_tos),
                 "tls": int(session.ssl is not None), "authenticated": int(bool(session.authenticated))}
        with open(base + ".txt", "w", encoding="utf-8") as f:
            f.write(read(envelope.original_content, facts))
        return "250 2.0.0 Ok: queued as %d" % self.count

    def check(self, server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and (data.login, data.password) == self.login
        with open(os.path.join(self.folder, "auth.log"), "a") as f:
            f.write("%s %d %d\n" % (mechanism, session.ssl is not None, ok))
        return AuthResult(success=ok, handled=False)  # the server answers 535 itself


async def main():
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)  # refused handshakes are what some tests are about
    warnings.simplefilter("ignore")  # and AUTH without TLS
    folder = sys.argv[1]
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(cert, key)
    print("pid", os.getpid())
    options = {"plain": {"auth_require_tls": False}, "tls": {"tls_context": tls, "require_starttls": True}}
    sockets = [socket.socket() for _ in range(4)]
    for name, sock in zip(("plain", "tls", "silent", "closed"), sockets):
        sock.bind(("127.0.0.1", 0))
        if name in options:
            store = Store(os.path.join(folder, name), *sys.argv[2:4])
            await asyncio.get_running_loop().create_server(
                lambda s=store, o=options[name]: SMTP(s, hostname="localhost", authenticator=s.check, **o), sock=sock)
        elif name == "silent":
            sock.listen()
        print(name, sock.getsockname()[1], flush=True)
    print("ready", flush=True)
    await asyncio.sleep(300)


asyncio.run(main())
