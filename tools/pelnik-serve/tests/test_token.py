"""The token: required on every request but the page when given, and
required to bind anywhere but loopback."""

from __future__ import annotations

import http.client
import subprocess
import urllib.request

from conftest import SERVE, free_port, need


def test_requests_without_the_token_are_refused(start_server):
    server = start_server("0", ["--token", "s3cret-token"])
    status, _, page = server.request("/")
    assert status == 200 and b"<html" in page
    for path, method in (("/api/state", "GET"), ("/api/control?camera=0&name=gain&value=3", "POST"),
                         ("/api/snapshot?camera=0", "GET"), ("/api/recordings", "GET"),
                         ("/live.mjpg?camera=0", "GET"),
                         ("/api/record?camera=0&action=start", "POST")):
        assert server.request(path, method)[0] == 401, path
        assert server.request(path, method, token="wrong-token!")[0] == 401, path
        assert server.request(path + ("&" if "?" in path else "?") + "token=s3cret-toke",
                              method)[0] == 401, path
    assert server.request("/api/control?camera=0&name=gain&value=3", "POST",
                          token="s3cret-token")[0] == 200
    assert server.request("/api/state?token=s3cret-token")[0] == 200


def test_binding_beyond_loopback_needs_a_token(tmp_path):
    # Refused at the command line: nothing is bound, no traffic is sent.
    answer = subprocess.run([SERVE, "--virtual", "--bind", "0.0.0.0", "--http-port",
                             str(free_port()), "--rtsp-port", str(free_port()),
                             "--output", str(tmp_path)],
                            capture_output=True, text=True, timeout=30)
    assert answer.returncode == 2
    assert "--token" in answer.stderr
    empty = tmp_path / "empty-token"
    empty.write_text("\n")
    answer = subprocess.run([SERVE, "--bind", "0.0.0.0", "--token-file", str(empty)],
                            capture_output=True, text=True, timeout=30)
    assert answer.returncode == 2 and "empty" in answer.stderr


def test_a_server_bound_beyond_loopback_refuses_requests_without_the_token(start_server):
    # Bound to every address (so beyond loopback); the test's requests still
    # travel over loopback only.
    server = start_server("0", ["--bind", "0.0.0.0", "--token", "wide-token"])
    assert server.request("/api/state")[0] == 401
    assert server.request("/api/control?camera=0&name=gain&value=4", "POST")[0] == 401
    assert server.request("/api/snapshot?camera=0")[0] == 401
    assert server.request("/api/control?camera=0&name=gain&value=4", "POST", token="wide-token")[0] == 200
    status, _, body = server.request("/api/state", token="wide-token")
    assert status == 200 and b'"cameras"' in body


def test_tls_serves_the_page_and_api_over_https(start_server, tmp_path):
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run([need("openssl"), "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    token = tmp_path / "token"
    token.write_text("file-token\n")
    server = start_server("0", ["--tls-cert", str(cert), "--tls-key", str(key),
                                "--token-file", str(token)])
    assert server.url("/").startswith("https://")
    status, _, body = server.request("/api/state", token="file-token")
    assert status == 200 and b'"cameras"' in body
    assert server.request("/api/state")[0] == 401
    # Plain HTTP on the TLS port gets no answer of the API.
    plain = urllib.request.Request(f"http://127.0.0.1:{server.http_port}/api/state",
                                   headers={"Authorization": "Bearer file-token"})
    try:
        with urllib.request.urlopen(plain, timeout=5) as answer:
            status = answer.status
    except (OSError, http.client.HTTPException):  # the TLS listener drops it
        status = None
    assert status != 200
