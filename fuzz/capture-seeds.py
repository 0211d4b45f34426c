#!/usr/bin/python3
"""Captures the seed corpora from the simulators: what a device and the cloud
really answer, and the demo pictures.

Usage: fuzz/capture-seeds.py BUILD_DIR

BUILD_DIR is a normal build with tamo-devsim, tamo-cloudsim and the demo files
(cmake --build BUILD_DIR --target tamo-devsim tamo-dfu-util tamo-cloudsim
cloudsim_demo_files).
Writes fuzz/corpus/{rpc_answers,console_text,dfu_tool_output,cloud_answers,
pictures}/capture-*; files of
other names there (regression cases of findings) are left alone. Standard
library only; the output is committed, so fuzzing needs no simulator.
"""
import glob
import json
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import tty
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def word_crc(data):
    """The device's CRC-32: 32-bit little-endian words, polynomial 0x04C11DB7."""
    data = data + b"\0" * (-len(data) % 4)
    crc = 0xFFFFFFFF
    for (word,) in struct.iter_unpack("<I", data):
        crc ^= word
        for _ in range(32):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def frame(command, payload=b""):
    head = bytes([0x07, command, 0, (len(payload) + 4) & 0xFF]) + payload
    return head + struct.pack("<I", word_crc(head))


def write_seed(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "capture-" + name), "wb") as f:
        f.write(data)


class Device:
    def __init__(self, build, folder):
        self.sim = subprocess.Popen(
            [os.path.join(build, "tools/devsim/tamo-devsim"), "--dir", folder, "--count", "1", "--erase-ms", "300"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        while not self.sim.stdout.readline().startswith("ready"):
            pass
        port = json.load(open(glob.glob(os.path.join(folder, "*.port"))[0]))
        self.serial = port["serialNumber"]
        self.fd = os.open(port["port"], os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)

    def control(self, line):
        self.sim.stdin.write(line + "\n")
        self.sim.stdin.flush()
        self.sim.stdout.readline()

    def answer(self, request, timeout=3.0):
        os.write(self.fd, request)
        got = b""
        deadline = time.time() + timeout
        while time.time() < deadline and not (len(got) > 3 and len(got) == struct.unpack("b", got[3:4])[0] + 4):
            if select.select([self.fd], [], [], 0.05)[0]:
                got += os.read(self.fd, 4096)
        return got

    def listing(self, command, payload=b""):
        """The first answer and every continuation, as the device sends them."""
        answers = [self.answer(frame(command, payload))]
        while len(answers[-1]) > 3 and answers[-1][2] == 5:
            answers.append(self.answer(frame(5)))
        return b"".join(answers)

    def busy(self, command):
        """An answer that says busy, then the pings until the device is back."""
        answers = [self.answer(frame(command))]
        while len(answers[-1]) > 3 and answers[-1][2] == 7:
            time.sleep(0.1)
            answers.append(self.answer(frame(0)))
        return b"".join(answers)

    def console(self, line, timeout=1.0):
        """What the console prints for a line, read until it falls silent."""
        os.write(self.fd, line)
        got = b""
        while select.select([self.fd], [], [], timeout)[0]:
            try:
                more = os.read(self.fd, 4096)
            except OSError:  # the device left the bus
                break
            if not more:
                break
            got += more
            timeout = 0.3
        return got

    def close(self):
        os.close(self.fd)
        self.control("quit")
        self.sim.wait(10)


def content_id(n):
    return struct.pack("<Q", n)


def capture_device(build):
    with tempfile.TemporaryDirectory() as folder:
        dev = Device(build, folder)
        # Enough pictures for a listing of several parts, a slideshow, a log of
        # several parts.
        picture = open(os.path.join(build, "tools/cloudsim/demo-files/charging.png"), "rb").read()
        for n in range(1, 25):
            header = content_id(1000 + n) + struct.pack("<I", len(picture)) + b"\x01"
            first = dev.answer(frame(30, header))
            if n == 1:
                write_seed("rpc_answers", "transfer", first)
            for at in range(0, len(picture), 48):
                part = dev.answer(frame(5, picture[at:at + 48]))
                if n == 1 and at == 0:
                    write_seed("rpc_answers", "upload-part", part)
        show = content_id(2000) + struct.pack("<HH", 3, 5) + b"\x02"
        dev.answer(frame(30, show))
        dev.answer(frame(5, content_id(1001) + content_id(1002) + content_id(1003)))
        for n in range(12):
            dev.control("log %s sensor check %d passed, temperature 31.%d C" % (dev.serial, n, n))

        for name, command in [("ping", 0), ("read-images", 1), ("read-gifs", 2), ("read-slideshows", 3),
                              ("read-slideshow-images", 4), ("read-mac", 6), ("read-name", 9),
                              ("read-firmware", 10), ("free-slots", 11), ("read-log", 12), ("read-board", 14),
                              ("read-device-serial", 15), ("read-plant", 16), ("clean-up", 17),
                              ("cancel-upload", 18), ("read-brightness", 20), ("read-dim-level", 24),
                              ("read-battery", 32)]:
            write_seed("rpc_answers", name, dev.listing(command))
        write_seed("rpc_answers", "activate", dev.answer(frame(8, content_id(1001))))
        write_seed("rpc_answers", "charging-display", dev.answer(frame(19, content_id(1002) + content_id(1003))))
        write_seed("rpc_answers", "set-brightness", dev.answer(frame(21, b"\x50")))
        write_seed("rpc_answers", "set-dim-level", dev.answer(frame(25, b"\x1e")))
        write_seed("rpc_answers", "delete", dev.answer(frame(7, b"\x01" + content_id(1024))))
        write_seed("rpc_answers", "refused-delete", dev.answer(frame(7, b"\x01" + content_id(999999))))
        write_seed("rpc_answers", "erase-busy", dev.busy(13))
        write_seed("rpc_answers", "open-dfu", dev.answer(frame(31), timeout=1.0))
        dev.close()


class Cloud:
    def __init__(self, build):
        here = os.path.dirname(HERE)
        self.sim = subprocess.Popen(
            [os.path.join(build, "tools/cloudsim/tamo-cloudsim"), "--fixture",
             os.path.join(here, "tools/cloudsim/fixtures/demo.json"), "--files",
             os.path.join(build, "tools/cloudsim/demo-files")],
            stdout=subprocess.PIPE, text=True)
        self.base = self.sim.stdout.readline().strip()
        self.token = None

    def call(self, method, path, body=None, headers=None, auth=True):
        data = None
        if body is not None:
            data = (json.dumps(body, indent=4, sort_keys=True) + "\n").encode()
        request = urllib.request.Request(self.base + path, data=data, method=method)
        request.add_header("Content-Type", "application/json")
        if auth and self.token:
            request.add_header("Authorization", "Bearer " + self.token)
        for key, value in (headers or {}).items():
            request.add_header(key, value)
        try:
            with urllib.request.urlopen(request, timeout=10) as reply:
                return reply.read()
        except urllib.error.HTTPError as error:
            return error.read()

    def close(self):
        self.sim.terminate()
        self.sim.wait(10)


def capture_console_and_tool(build):
    """The console's screens, then the firmware tool's output for that device in
    its boot loader, and for no device at all."""
    tool = os.path.join(build, "tools/dfusim/tamo-dfu-util")
    with tempfile.TemporaryDirectory() as folder:
        firmware = os.path.join(folder, "firmware.dfu")
        subprocess.run([os.path.join(build, "tools/devsim/tamo-devsim"), "make-firmware", "--fw", "1.6.2",
                        "--out", firmware, "--size", "20000"], check=True, stdout=subprocess.DEVNULL)
        sims = os.path.join(folder, "sims")
        os.mkdir(sims)
        dev = Device(build, sims)
        write_seed("console_text", "menu", dev.console(b"0\r\n0\r\n"))
        write_seed("console_text", "config-dump", dev.console(b"3\r\n"))
        write_seed("console_text", "version", dev.console(b"5\r\n"))
        write_seed("console_text", "unknown-command", dev.console(b"9\r\n"))
        write_seed("console_text", "to-dfu", dev.console(b"7\r\n"))
        deadline = time.time() + 5
        while not glob.glob(os.path.join(sims, "*.dfu")) and time.time() < deadline:
            time.sleep(0.05)
        # Byte 0 of a tool seed sets the piece length the output is read in.
        download = subprocess.run([tool, "--sim-dir", sims, "-a", "0", "-D", firmware, "-S", dev.serial],
                                  capture_output=True)
        write_seed("dfu_tool_output", "download", b"\x0f" + download.stdout + download.stderr)
        leave = subprocess.run([tool, "--sim-dir", sims, "-a", "0", "-R", "-S", dev.serial, "-s",
                                "0x08004000:leave", "-U", os.path.join(folder, "upload")], capture_output=True)
        write_seed("dfu_tool_output", "leave", b"\x3f" + leave.stdout + leave.stderr)
        missing = subprocess.run([tool, "--sim-dir", sims, "-a", "0", "-D", firmware, "-S", "NOSUCHDEVICE"],
                                 capture_output=True)
        write_seed("dfu_tool_output", "no-device", b"\x07" + missing.stdout + missing.stderr)
        os.close(dev.fd)
        dev.control("quit")
        dev.sim.wait(10)


def capture_cloud(build):
    cloud = Cloud(build)
    seeds = {}
    seeds["signin-refused"] = cloud.call("POST", "signin/", {"email": "demo.manager@tamo.example", "password": "x"},
                                         auth=False)
    seeds["signin"] = cloud.call("POST", "signin/", {"email": "demo.manager@tamo.example",
                                                     "password": "TamoDemo-2024"}, auth=False)
    data = json.loads(seeds["signin"])["data"]
    cloud.token = data["authToken"]
    seeds["refresh-token"] = cloud.call("POST", "refresh_token/", {"token": data["refreshToken"]}, auth=False)
    cloud.token = json.loads(seeds["refresh-token"])["data"]["authToken"]
    mac = "c4:4f:33:0a:0b:01"
    seeds["user"] = cloud.call("GET", "user/8")
    seeds["company"] = cloud.call("GET", "company/1")
    seeds["register-device"] = cloud.call("POST", "tamo_device_usb", {"fwVersion": "1.5.27", "location": "Lobby",
                                                                      "macAddress": mac, "userId": 7, "uuid": mac})
    seeds["device-info"] = cloud.call("GET", 'tamo_device?where={"mac":"%s"}' % mac)
    seeds["update-device"] = cloud.call("PUT", "account/tamo_device/" + mac,
                                        {"mac": mac, "mobilePlatform": "usb", "name": "TAMO 1",
                                         "tamoId": [5101, 5102], "postId": [6201]})
    seeds["upload-status"] = cloud.call("POST", "scheduled_event/1001/log",
                                        {"errorMessage": "", "macAddress": mac, "status": "success"})
    now = time.strftime("%Y-%m-%dT%H:%M:%S")
    seeds["device-campaign"] = cloud.call("GET", "account/event/last?useMacAddress=true&timestamp=" + now,
                                          headers={"X-Mac-Address": mac, "X-Is-Desktop-App": "true"})
    seeds["campaign-content"] = cloud.call("GET", "account/schedule_event/1001/content")
    seeds["content-info"] = cloud.call("GET", 'account/content/device?limit=1000&where={"uuid":[5101,5105,6201]}')
    seeds["platform"] = cloud.call("GET", "setting/platform")
    seeds["installer"] = cloud.call("GET", "installation?type=dfu")
    seeds["not-found"] = cloud.call("GET", "user/99")
    cloud.token = None
    seeds["unauthorised"] = cloud.call("GET", "setting/platform")
    seeds["dfu-lookup"] = cloud.call("GET", "tamo_device_usb/upgrade", auth=False)
    cloud.close()
    for name, answer in seeds.items():
        write_seed("cloud_answers", name + ".json", answer)
    write_seed("cloud_answers", "token.txt", data["authToken"].encode())


def capture_pictures(build):
    for path in sorted(glob.glob(os.path.join(build, "tools/cloudsim/demo-files/*"))):
        if path.endswith((".jpg", ".png", ".gif")):
            folder = os.path.join(CORPUS, "pictures")
            os.makedirs(folder, exist_ok=True)
            shutil.copyfile(path, os.path.join(folder, "capture-" + os.path.basename(path)))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    capture_device(build)
    capture_console_and_tool(build)
    capture_cloud(build)
    capture_pictures(build)


if __name__ == "__main__":
    main()
