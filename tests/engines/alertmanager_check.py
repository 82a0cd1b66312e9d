"""Alertmanager on loopback, sending every alert to a webhook receiver of this check's own:
what an operator's pager or chat would receive, as JSON.

Alertmanager's configuration is the test's own: each alert is its own group and is sent
within a second, resolved ones too; nothing else is configured.
"""
import json
import os
import threading

from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from engines import LOOPBACK, Failure, Pending, answers, wait_for


class Webhook:
    """A small HTTP server on a free loopback port that keeps every notification posted
    to it, in order of arrival."""

    def __init__(self):
        self.notifications = []
        self.lock = threading.Lock()
        received = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                length = int(self.headers.get("Content-Length", "0"))
                body = self.rfile.read(length)
                try:
                    document = json.loads(body)
                except ValueError:
                    document = {"unreadable": body.decode("utf-8", "replace")}
                with received.lock:
                    received.notifications.append(document)
                self.send_response(200)
                self.end_headers()

            def log_message(self, *_args):
                pass

        self.server = ThreadingHTTPServer((LOOPBACK, 0), Handler)
        self.url = f"http://{LOOPBACK}:{self.server.server_address[1]}/"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def alerts(self):
        """Every alert of every notification so far, with the notification's own status."""
        with self.lock:
            return [(n, a) for n in self.notifications for a in n.get("alerts", [])]

    def wait(self, what, match, status, processes, timeout=30):
        """The first notification holding an alert with `status` whose labels include `match`."""
        def seen():
            for notification, alert in self.alerts():
                if alert.get("status") == status and all(alert["labels"].get(k) == v for k, v in match.items()):
                    return notification
            raise Pending(f"{len(self.notifications)} notifications, none {status} for {match}")
        return wait_for(what, seen, timeout, processes)


def start_alertmanager(processes, work, webhook_url):
    """Alertmanager with the webhook as its only receiver; returns its port."""
    config = os.path.join(work, "alertmanager.yml")
    with open(config, "w", encoding="utf-8") as f:
        f.write("route:\n  receiver: webhook\n  group_by: ['...']\n  group_wait: 0s\n  group_interval: 1s\n"
                "  repeat_interval: 1h\n"
                f"receivers:\n  - name: webhook\n    webhook_configs:\n      - url: {webhook_url}\n"
                "        send_resolved: true\n")
    _, port = processes.serve(
        "alertmanager",
        lambda port: ["prometheus-alertmanager", f"--config.file={config}", f"--web.listen-address={LOOPBACK}:{port}",
                      f"--storage.path={os.path.join(work, f'alertmanager-{port}')}", "--cluster.listen-address=",
                      "--log.level=warn"],
        lambda port: answers(f"http://{LOOPBACK}:{port}/-/ready"))
    return port


def expect_no_resolution(webhook, match, since, until):
    """No notification between the two counts resolved the alert whose labels include `match`."""
    with webhook.lock:
        between = webhook.notifications[since:until]
    for notification in between:
        for alert in notification.get("alerts", []):
            if alert.get("status") == "resolved" and all(alert["labels"].get(k) == v for k, v in match.items()):
                raise Failure(f"the alert {match} was resolved while the route stayed failed: {notification}")


def quoted(notification):
    """A notification as the check prints it: the JSON as received."""
    return json.dumps(notification, indent=2, ensure_ascii=False)


