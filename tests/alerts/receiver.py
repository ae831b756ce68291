"""An HTTP receiver for the alert tests: records every POST as a JSON line.

receiver.py PORT RECORD: listens on 127.0.0.1:PORT (0: any free port),
prints the port, appends {"path", "headers", "body"} to RECORD per POST.
"""
import http.server
import json
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with open(sys.argv[2], "a", encoding="utf-8") as record:
            record.write(json.dumps({"path": self.path,
                                     "headers": {k: v for k, v in self.headers.items()},
                                     "header_names": list(self.headers.keys()),
                                     "body": body.decode("utf-8", "replace")}) + "\n")
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


class Server(http.server.HTTPServer):
    allow_reuse_address = True


server = Server(("127.0.0.1", int(sys.argv[1])), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
