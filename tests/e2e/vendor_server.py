"""The vendor's web server for the end-to-end tests: serves the update files
on 127.0.0.1:8080 and can be told, per path, to misbehave in a given way.
Records every request it receives."""

import dataclasses
import http.server
import socket
import ssl
import threading
import time

PORT = 8080


@dataclasses.dataclass
class Response:
    """How the server answers one path.

    kind: "file"     `status` (200) with the body and its Content-Length
          "404"      404 with an HTML error page as the body
          "empty"    200 with no body
          "cut"      declares the body's length, sends `cut_after` bytes, closes
          "chunked"  200 in chunked transfer encoding, `chunk_size` per chunk
          "redirect" 302 to `location`
          "stall"    sends `cut_after` bytes, waits `stall_seconds`, closes
          "trickle"  declares the body's length, then sends `chunk_size` bytes
                     every `stall_seconds` until the body is out; with `hold`
                     (a threading.Event), one byte every `stall_seconds`
                     until it is set, then the rest at once
          "reset"    sends the headers, then resets the connection
    """
    kind: str = "file"
    body: bytes = b""
    cut_after: int = 0
    chunk_size: int = 1024
    location: str = ""
    stall_seconds: float = 0.0
    status: int = 200
    hold: object = None


@dataclasses.dataclass
class Request:
    request_line: str
    headers: list  # (name, value) pairs as received
    body: bytes


ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body>Not Found</body></html>\n"


class VendorServer:
    def __init__(self, host="127.0.0.1", port=PORT, tls=None):  # tls: PEM, cert and key
        self.routes = {}
        self.port = port
        self.requests = []
        self._lock = threading.Lock()
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                server._answer(self)

            do_POST = do_HEAD = do_PUT = do_GET

        self._httpd = http.server.ThreadingHTTPServer((host, port), Handler)
        self._httpd.daemon_threads = True
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(tls)
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)

    def start(self):
        self._thread.start()
        return self

    def stop(self):
        self._httpd.shutdown()
        self._httpd.server_close()

    def serve(self, path, response):
        self.routes[path] = response

    def reset(self):
        with self._lock:
            self.routes.clear()
            self.requests.clear()

    def request_paths(self):
        with self._lock:
            return [r.request_line.split()[1] for r in self.requests]

    def _answer(self, handler):
        length = int(handler.headers.get("Content-Length") or 0)
        body = handler.rfile.read(length) if length else b""
        with self._lock:
            self.requests.append(Request(handler.requestline, list(handler.headers.items()), body))
        response = self.routes.get(handler.path, Response("404", ERROR_PAGE))
        getattr(self, "_" + response.kind)(handler, response)

    @staticmethod
    def _headers(handler, status, headers):
        handler.send_response(status)
        for name, value in headers:
            handler.send_header(name, value)
        handler.end_headers()

    def _file(self, handler, response):
        self._headers(handler, response.status, [("Content-Type", "application/octet-stream"),
                                     ("Content-Length", str(len(response.body)))])
        handler.wfile.write(response.body)

    def _404(self, handler, response):
        self._headers(handler, 404, [("Content-Type", "text/html"),
                                     ("Content-Length", str(len(response.body)))])
        handler.wfile.write(response.body)

    def _empty(self, handler, response):
        self._headers(handler, 200, [("Content-Length", "0")])

    def _cut(self, handler, response):
        self._headers(handler, 200, [("Content-Length", str(len(response.body)))])
        handler.wfile.write(response.body[:response.cut_after])
        handler.wfile.flush()
        handler.close_connection = True

    def _stall(self, handler, response):
        self._cut(handler, response)
        time.sleep(response.stall_seconds)

    def _trickle(self, handler, response):
        self._headers(handler, 200, [("Content-Length", str(len(response.body)))])
        body, sent = response.body, 0
        while sent < len(body):
            size = response.chunk_size
            if response.hold is not None:
                size = len(body) if response.hold.is_set() else 1
            handler.wfile.write(body[sent:sent + size])
            handler.wfile.flush()
            sent += size
            if sent < len(body):
                time.sleep(response.stall_seconds)

    def _reset(self, handler, response):
        self._headers(handler, 200, [("Content-Length", str(len(response.body)))])
        handler.wfile.flush()
        # Closing with SO_LINGER 0 sends RST instead of FIN.
        handler.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
        handler.close_connection = True

    def _chunked(self, handler, response):
        self._headers(handler, 200, [("Transfer-Encoding", "chunked")])
        body = response.body
        for start in range(0, len(body), response.chunk_size):
            chunk = body[start:start + response.chunk_size]
            handler.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
        handler.wfile.write(b"0\r\n\r\n")

    def _redirect(self, handler, response):
        self._headers(handler, 302, [("Location", response.location), ("Content-Length", "0")])
