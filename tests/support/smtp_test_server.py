#!/usr/bin/python3
"""A real SMTP server for the mail tests, on 127.0.0.1.

Writes what it sees into the output folder:
  events.log   one line per EHLO, HELO, AUTH attempt, accepted message, unanswered QUIT and
               idle connection given up ("TIMEOUT")
  NNN.eml      the raw content of message NNN as received after DATA
  NNN.json     its envelope and the headers and body as Python's e-mail parser reads them

A slow server (--delay-ms) holds every message after DATA for that long before it takes
it in and answers; a file named "release" in the output folder ends the wait at once.

Prints "ready" once it accepts connections and stops when its standard input closes.
"""

import argparse
import asyncio
import email
import email.policy
import json
import os
import ssl
import sys
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def is_tls(server, session):
    """True on a STARTTLS session and on a connection that began with TLS."""
    transport = server.transport
    return session.ssl is not None or (
        transport is not None and transport.get_extra_info("ssl_object") is not None)


class Recorder:
    def __init__(self, folder, refuse_ehlo, delay_ms=0):
        self.folder = folder
        self.count = 0
        self.refuse_ehlo = refuse_ehlo
        self.delay_ms = delay_ms

    async def answer_slowly(self):
        loop = asyncio.get_running_loop()
        until = loop.time() + self.delay_ms / 1000
        release = os.path.join(self.folder, "release")
        while loop.time() < until and not os.path.exists(release):
            await asyncio.sleep(min(0.01, max(0, until - loop.time())))

    def event(self, text):
        with open(os.path.join(self.folder, "events.log"), "a", encoding="utf-8") as f:
            f.write(text + "\n")

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        self.event("EHLO %s tls=%d" % (hostname, is_tls(server, session)))
        if self.refuse_ehlo:
            session.extended_smtp = False
            return ["502 5.5.1 EHLO not implemented"]
        return responses

    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        self.event("HELO %s" % hostname)
        return "250 {}".format(server.hostname)

    async def handle_DATA(self, server, session, envelope):
        if self.delay_ms > 0:
            await self.answer_slowly()
        self.count += 1
        name = "%03d" % self.count
        raw = envelope.content
        with open(os.path.join(self.folder, name + ".eml"), "wb") as f:
            f.write(raw)
        message = email.message_from_bytes(raw, policy=email.policy.default)
        try:
            body = message.get_content()
        except Exception as error:  # report it to the test rather than refuse the mail
            body = "<undecodable: %s>" % error
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": is_tls(server, session),
            "authenticated": bool(session.authenticated),
            "from": str(message["From"]),
            "sender": str(message["Sender"]),
            "to": str(message["To"]),
            "subject": str(message["Subject"]),
            "date": str(message["Date"]),
            "message_id": str(message["Message-ID"]),
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset(),
            "transfer_encoding": str(message["Content-Transfer-Encoding"]),
            "body": body,
            "defects": [type(d).__name__ for d in message.defects],
        }
        with open(os.path.join(self.folder, name + ".json"), "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        self.event("DATA %s" % name)
        return "250 Message accepted for delivery"


class SilentQuitRecorder(Recorder):
    """Never answers QUIT: the client has to give up waiting."""

    async def handle_QUIT(self, server, session, envelope):
        self.event("QUIT")
        await asyncio.sleep(3600)


class RecordingSMTP(SMTP):
    """Records when it gives up on an idle connection, so a test waits for that event."""

    def _timeout_cb(self):
        super()._timeout_cb()
        self.event_handler.event("TIMEOUT")


class RecordingController(Controller):
    def factory(self):
        return RecordingSMTP(self.handler, **self.SMTP_kwargs)


def make_authenticator(recorder, user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode() and auth_data.password == password.encode())
        login = auth_data.login.decode(errors="replace") if isinstance(auth_data, LoginPassword) else "?"
        recorder.event("AUTH %s %s %s tls=%d" % (mechanism, login, "ok" if ok else "fail",
                                                is_tls(server, session)))
        return AuthResult(success=ok, handled=False)
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--user", default="trader")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--auth", choices=["required", "optional"], default="required")
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--ehlo", choices=["accept", "refuse"], default="accept")
    parser.add_argument("--quit", choices=["answer", "silent"], default="answer")
    parser.add_argument("--idle-timeout", type=float, default=300)
    parser.add_argument("--delay-ms", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    args = parser.parse_args()

    # AUTH over a plain connection is what some of the tests are about.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
    recorder_class = SilentQuitRecorder if args.quit == "silent" else Recorder
    recorder = recorder_class(args.out, args.ehlo == "refuse", args.delay_ms)
    context = None
    if args.tls != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    options = dict(
        hostname="127.0.0.1",
        port=args.port,
        server_hostname="zovrant-test",
        authenticator=make_authenticator(recorder, args.user, args.password),
        auth_required=args.auth == "required",
        timeout=args.idle_timeout,
        # AUTH over a plain connection only where the server offers no STARTTLS.
        auth_require_tls=args.tls == "starttls",
    )
    if args.tls == "starttls":
        options.update(tls_context=context, require_starttls=True)
    elif args.tls == "implicit":
        options.update(ssl_context=context)

    controller = RecordingController(recorder, **options)
    controller.start()
    print("ready", flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
