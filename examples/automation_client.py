#!/usr/bin/env python3
"""Drives a running analyser through its automation server.

    automation_client.py request "Peak Frequency"
    automation_client.py execute "[Run]"
    automation_client.py advise "Peak Frequency" "FFT Count"     (until Ctrl-C)

The server's address and token come from the discovery file it writes at start-up.
Request and execute need only the standard library; advise needs python3-websockets.
"""
import json
import os
import sys
import urllib.error
import urllib.parse
import urllib.request


def discovery():
    runtime = os.environ.get("XDG_RUNTIME_DIR")
    folder = os.path.join(runtime, "zeltrak") if runtime else "/tmp/zeltrak-%d" % os.getuid()
    with open(os.path.join(folder, "automation.json")) as f:
        return json.load(f)


def call(server, method, path, body=None):
    request = urllib.request.Request(server["url"] + path, data=body, method=method,
                                     headers={"Authorization": "Bearer " + server["token"]})
    try:
        with urllib.request.urlopen(request, timeout=15) as reply:
            return reply.status, reply.read().decode()
    except urllib.error.HTTPError as refused:
        return refused.code, refused.read().decode()


async def advise(server, items):
    import websockets  # only advise needs it

    url = server["url"].replace("http://", "ws://", 1) + "/advise"
    async with websockets.connect(url, extra_headers={"Authorization": "Bearer " + server["token"]}) as ws:
        await ws.send(json.dumps({"subscribe": items}))
        async for text in ws:
            message = json.loads(text)
            if "error" in message:
                sys.exit("refused: %s" % message)
            if "value" in message:
                for line in message["value"].replace("\r", "").splitlines() or [""]:
                    print("%s\t%s" % (message["item"], line), flush=True)


def main(argv):
    if len(argv) < 3 or argv[1] not in ("request", "execute", "advise"):
        sys.exit(__doc__)
    server = discovery()
    if argv[1] == "request":
        status, text = call(server, "GET", "/items/" + urllib.parse.quote(argv[2], safe=""))
        print(text)
        return 0 if status == 200 else 1
    if argv[1] == "execute":
        status, text = call(server, "POST", "/execute", argv[2].encode())
        print(text)
        return 0 if status == 200 else 1
    import asyncio
    try:
        asyncio.run(advise(server, argv[2:]))
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
