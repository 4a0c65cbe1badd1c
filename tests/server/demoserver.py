#!/usr/bin/env python3
"""A download server for the setup's tests and demo, on 127.0.0.1 only.

Serves the files under --root; the setup asks for its packages below
/esd/en/tessal/installfiles, its licence archive at /esd/en/tessal/eula.zip
and the version file at /esd/en/tessal/update.txt.
"""
import argparse
import functools
import http.server


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=48080)
    parser.add_argument("--root", required=True)
    args = parser.parse_args()
    handler = functools.partial(QuietHandler, directory=args.root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
