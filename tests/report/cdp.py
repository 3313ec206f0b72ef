"""A small client of the Chrome DevTools protocol for the report tests:
starts headless Chromium on a blank page, opens a file in it and collects
every exception, console message, log entry and request the page makes.
Only the Python standard library (a minimal WebSocket client) is used."""

import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import urllib.parse
import urllib.request


def chromium_path():
    return shutil.which("chromium")


class WebSocket:
    """Text frames over one connection, client side (masked)."""

    def __init__(self, url, timeout=60):
        parts = urllib.parse.urlparse(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode("ascii")
        request = (f"GET {parts.path} HTTP/1.1\r\nHost: {parts.hostname}:{parts.port}\r\n"
                   "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                   f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
        self.sock.sendall(request.encode("ascii"))
        response = b""
        while b"\r\n\r\n" not in response:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("DevTools closed the connection during the handshake")
            response += chunk
        head, self.pending = response.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise ConnectionError(f"DevTools refused the WebSocket: {head[:200]!r}")

    def _exactly(self, count):
        while len(self.pending) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("DevTools closed the connection")
            self.pending += chunk
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

    def _send_frame(self, opcode, payload):
        """Sends one frame; the client's messages are all under 64 KiB."""
        mask = os.urandom(4)
        length = len(payload)
        if length < 126:
            header = struct.pack("!BB", 0x80 | opcode, 0x80 | length)
        else:
            header = struct.pack("!BBH", 0x80 | opcode, 0x80 | 126, length)
        masked = bytes(b ^ mask[k % 4] for k, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def send(self, text):
        self._send_frame(0x1, text.encode("utf-8"))

    def receive(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            opcode, length = first & 0x0F, second & 0x7F
            if length == 126:
                length = struct.unpack("!H", self._exactly(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", self._exactly(8))[0]
            payload = self._exactly(length)
            if opcode == 0x9:
                self._send_frame(0xA, payload)
                continue
            if opcode == 0x8:
                raise ConnectionError("DevTools closed the WebSocket")
            message += payload
            if first & 0x80:
                return message.decode("utf-8")

    def close(self):
        self.sock.close()


class Browser:
    """Headless Chromium with one page under remote control."""

    def __init__(self, width=1200, height=900):
        self.profile = tempfile.mkdtemp(prefix="focustrack-chromium-")
        self.log = open(os.path.join(self.profile, "chromium.log"), "w")
        self.process = subprocess.Popen(
            [chromium_path(), "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--no-default-browser-check", "--disable-extensions", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", f"--user-data-dir={self.profile}",
             "--remote-debugging-port=0", f"--window-size={width},{height}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=self.log)
        self.next_id = 0
        self.events = []
        self.socket = WebSocket(self._page_socket())
        for domain in ("Runtime", "Log", "Page", "Network"):
            self.call(f"{domain}.enable")

    def _page_socket(self):
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 60
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"chromium ended with status {self.process.returncode}")
            if os.path.exists(port_file):
                lines = open(port_file).read().split()
                if lines:
                    targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{lines[0]}/json/list"))
                    pages = [t for t in targets if t.get("type") == "page"]
                    if pages:
                        return pages[0]["webSocketDebuggerUrl"]
            time.sleep(0.1)
        raise RuntimeError("chromium did not open its DevTools port")

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.receive())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.events.append(message)

    def wait_for(self, method, timeout=60):
        """The first event of that name, received now or earlier."""
        deadline = time.time() + timeout
        while True:
            for event in self.events:
                if event.get("method") == method:
                    return event
            if time.time() > deadline:
                raise TimeoutError(f"no {method} within {timeout} s")
            self.events.append(json.loads(self.socket.receive()))

    def open(self, path):
        self.events.clear()
        self.call("Page.navigate", url="file://" + os.path.abspath(path))
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression):
        """The value of a JavaScript expression (awaited when a promise)."""
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"script failed: {result['exceptionDetails']}")
        return result["result"].get("value")

    def problems(self):
        """Exceptions, console errors and warnings, error log entries and
        requests for anything but the page itself and data URIs."""
        found = []
        for event in self.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.exceptionThrown":
                found.append(f"exception: {params['exceptionDetails'].get('text')}")
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "warning", "assert"):
                found.append(f"console {params['type']}: {params.get('args')}")
            elif method == "Log.entryAdded" and params["entry"].get("level") in ("error", "warning"):
                found.append(f"log {params['entry']['level']}: {params['entry'].get('text')}")
            elif method == "Network.requestWillBeSent":
                url = params["request"]["url"]
                if not url.startswith(("file:", "data:")):
                    found.append(f"network request: {url}")
            elif method == "Network.loadingFailed":
                found.append(f"failed load: {params.get('errorText')}")
        return found

    def close(self):
        try:
            self.socket.close()
        finally:
            self.process.terminate()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)
