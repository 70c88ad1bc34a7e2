"""A loopback-only update server for the end-to-end scenarios.

Serves the reply in REPLY_FILE (or the status in STATUS_FILE) for every GET and appends each
request line to LOG_FILE. A STATUS_FILE that says "silent" makes the server take the request and
never answer it. Prints the port it listens on, then serves until killed."""
import http.server
import sys
import time

reply_file, status_file, log_file = sys.argv[1], sys.argv[2], sys.argv[3]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(log_file, "a", encoding="utf-8") as log:
            log.write(self.path + "\n")
        try:
            with open(status_file, encoding="utf-8") as f:
                status = f.read().strip() or "200"
        except OSError:
            status = "200"
        if status == "silent":
            while True:
                time.sleep(60)
        status = int(status)
        body = open(reply_file, "rb").read() if status == 200 else b"not here"
        self.send_response(status)
        if status in (301, 302):
            self.send_header("Location", "http://127.0.0.1:9/elsewhere")
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


# A thread per request: a silent one must not hold up the requests after it.
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
