#!/usr/bin/python3
"""End-to-end figures of 'sonari-cli run' through a real sound server, without sound hardware.

A private server (PulseAudio, or PipeWire with its PulseAudio server) gets one stereo null sink
"bench". Its left channel is the microphone: test signals are played into it, and sonari-cli
captures it from the sink's monitor. Its right channel is the transmitter: sonari-cli plays
into a one-channel remap of it. One recording of the monitor therefore holds what went into
the microphone and what came out of the processor side by side, sample-aligned by the server.

  latency  bursts of band-limited noise; the delay from microphone to transmitter is the lag
           of the cross-correlation peak around each burst onset; also the time from starting
           sonari-cli to the first processed sound at the transmitter (with steady noise
           playing before the start); --settle S more seconds of silence before the bursts
           measure the delay later in the run (the bursts begin about 4 s after the start)
  gaps     a steady 1 kHz tone for --seconds; a gap is a 5 ms frame whose r.m.s. level is
           below 30 % of the median; optionally beside --hogs CPU-bound processes or with
           sonari-cli's main thread stalled for --stall ms every 2 s

Every figure is printed per run and as the median over --runs. Usage:
  bench/latency.py [--cli build/bin/sonari-cli] [--server pulseaudio|pipewire]
                   [--latency low|normal] [--runs 5] [--settle 0] latency
  bench/latency.py ... [--seconds 60] [--hogs 4] [--stall 250] gaps
  bench/latency.py --server S --reference MS latency
With --reference MS a plain recorder piped into a plain player (parec | pacat, each asking the
server for MS ms) takes sonari-cli's place: the delay the server itself adds to any client.
The server and every process started here run in a private folder and are ended by their ids.
"""

import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

RATE = 48000
FRAME = RATE * 5 // 1000  # 5 ms
QUANTUM = os.environ.get("BENCH_PW_MIN_QUANTUM")
REALTIME = subprocess.run(["chrt", "-f", "10", "true"], stderr=subprocess.DEVNULL).returncode == 0


class Server:
    """A private sound server with the bench sink, and the environment its clients need."""

    def __init__(self, kind, root):
        self.kind = kind
        self.root = root
        self.processes = []
        run = os.path.join(root, "run")
        home = os.path.join(root, "home")
        os.makedirs(os.path.join(run, "pulse"), mode=0o700)
        os.chmod(run, 0o700)
        os.makedirs(home)
        with open(os.path.join(home, ".asoundrc"), "w") as f:
            f.write('pcm.benchmic { type pulse; device "bench.monitor"; '
                    'hint { show on; description "Bench microphone" } }\n'
                    'pcm.benchtx { type pulse; device "sonari_tx"; '
                    'hint { show on; description "Bench transmitter" } }\n')
        self.env = dict(os.environ, XDG_RUNTIME_DIR=run, HOME=home,
                        PULSE_SERVER="unix:" + os.path.join(run, "pulse", "native"),
                        XDG_CONFIG_HOME=os.path.join(home, ".config"))
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)

    def start(self):
        log = open(os.path.join(self.root, "server.log"), "w")
        if self.kind == "pulseaudio":
            script = os.path.join(self.root, "server.pa")
            with open(script, "w") as f:
                f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n"
                        % os.path.join(self.env["XDG_RUNTIME_DIR"], "pulse", "native"))
            command = ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "-F",
                       script]
        else:
            if QUANTUM:
                # the pulse server's floor for its clients' fragments and quantum
                conf = os.path.join(self.env["XDG_CONFIG_HOME"], "pipewire",
                                    "pipewire-pulse.conf.d")
                os.makedirs(conf)
                with open(os.path.join(conf, "quantum.conf"), "w") as f:
                    f.write("pulse.properties = { pulse.min.req = %s pulse.min.frag = %s "
                            "pulse.min.quantum = %s }\n" % ((QUANTUM + "/48000",) * 3))
            command = ["dbus-run-session", "--", "sh", "-c",
                       "pipewire & sleep 1; wireplumber & sleep 1; pipewire-pulse & wait"]
        # Desktops run their sound server at real-time priority (RTKit): so does the bench,
        # or CPU hogs starve the server rather than the processor under test.
        if REALTIME:
            command = ["chrt", "-f", "20"] + command
        self.processes.append(subprocess.Popen(command, env=self.env, stdout=log, stderr=log,
                                               start_new_session=True))
        for _ in range(100):
            if self.pactl("info", check=False).returncode == 0:
                break
            time.sleep(0.1)
        else:
            raise RuntimeError(self.kind + " does not answer")
        self.pactl("load-module", "module-null-sink", "sink_name=bench", "rate=48000",
                   "channels=2", "channel_map=front-left,front-right")
        if self.kind == "pulseaudio":
            # remapping sinks run in their master's thread: no delay of their own
            for name, channel in (("burst_in", "front-left"), ("sonari_tx", "front-right")):
                self.pactl("load-module", "module-remap-sink", "sink_name=" + name,
                           "master=bench", "channels=1", "master_channel_map=" + channel,
                           "channel_map=mono", "remix=no")
        else:
            # PipeWire's remapping sinks are loopbacks with a delay of their own; its graph links
            # ports without one, so two sinks of their own feed the bench sink's channels
            for name, channel in (("burst_in", "FL"), ("sonari_tx", "FR")):
                self.pactl("load-module", "module-null-sink", "sink_name=" + name, "rate=48000",
                           "channels=1")
                time.sleep(0.3)
                subprocess.run(["pw-link", name + ":monitor_MONO", "bench:playback_" + channel],
                               env=self.env, check=True)
        # An idle null sink delivers nothing to its monitor, and once it has something to play
        # it starts after up to 2 s of what it rendered ahead: silence keeps it running.
        self.spawn(["pacat", "--playback", "-d", "bench", "--raw", "--format=s16le",
                    "--rate=48000", "--channels=2", "--latency-msec=10", "/dev/zero"],
                   realtime=True, stderr=subprocess.DEVNULL)
        time.sleep(2.5)
        return self

    def pactl(self, *args, check=True):
        return subprocess.run(["pactl"] + list(args), env=self.env, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def spawn(self, command, realtime=False, **kwargs):
        # The test signal's player and recorder must not be what the CPU hogs starve.
        if realtime and REALTIME:
            command = ["chrt", "-f", "10"] + command
        process = subprocess.Popen(command, env=self.env, start_new_session=True, **kwargs)
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()


def raw(samples):
    return np.clip(np.round(samples * 32767), -32767, 32767).astype("<i2").tobytes()


def band_noise(seconds, rng):
    """Noise in 500-2000 Hz, well inside the processor's pass band, at about -16 dBFS."""
    n = int(seconds * RATE)
    spectrum = np.fft.rfft(rng.standard_normal(n))
    f = np.fft.rfftfreq(n, 1 / RATE)
    spectrum[(f < 500) | (f > 2000)] = 0
    x = np.fft.irfft(spectrum, n)
    return 0.16 * x / np.sqrt(np.mean(x * x))


def burst_signal(rng, settle):
    """1 s of silence (the recording starts meanwhile), 4 s of steady noise (sonari starts in
    it), 0.5 + settle s of silence, then 20 bursts of 30 ms every 300 ms. Returns the samples
    and the burst onsets."""
    parts = [np.zeros(RATE), band_noise(4.0, rng), np.zeros(int((0.5 + settle) * RATE))]
    onsets = []
    at = sum(len(p) for p in parts)
    for _ in range(20):
        burst = band_noise(0.03, rng) * np.hanning(int(0.03 * RATE))
        parts += [burst, np.zeros(int(0.27 * RATE))]
        onsets.append(at)
        at += int(0.3 * RATE)
    parts.append(np.zeros(RATE))
    return np.concatenate(parts), onsets


class Recording:
    """parecord of the bench monitor; `zero` is the wall time of its first sample, from how
    the file grows (an upper bound: delivery comes in 5 ms fragments)."""

    def __init__(self, server, path):
        self.path = path
        self.process = server.spawn(
            ["parecord", "-d", "bench.monitor", "--raw", "--format=s16le", "--rate=48000",
             "--channels=2", "--latency-msec=5", path], realtime=True, stderr=subprocess.DEVNULL)
        self.zero = float("inf")
        end = time.monotonic() + 0.5
        while time.monotonic() < end:
            now = time.monotonic()
            size = os.path.getsize(path) if os.path.exists(path) else 0
            if size > 0:
                self.zero = min(self.zero, now - size / 4 / RATE)
            time.sleep(0.002)

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait()
        x = np.frombuffer(open(self.path, "rb").read(), dtype="<i2").astype(float) / 32767
        x = x[: len(x) // 2 * 2].reshape(-1, 2)
        return x[:, 0], x[:, 1]


def start_cli(server, args, root, extra):
    if args.reference:
        # the server's own share: a plain recorder piped into a plain player, nothing between
        client = ("parec -d bench.monitor --raw --format=s16le --rate=48000 --channels=1 "
                  "--channel-map=front-left --latency-msec={0} | pacat -d sonari_tx --raw "
                  "--format=s16le --rate=48000 --channels=1 --channel-map=mono "
                  "--latency-msec={0}").format(args.reference)
        return server.spawn(["sh", "-c", client], stderr=subprocess.DEVNULL), time.monotonic()
    command = [args.cli, "run", "--input", "Bench microphone", "--output", "Bench transmitter"]
    if args.latency:
        command += ["--latency", args.latency]
    out = open(os.path.join(root, "cli.txt"), "w")
    process = server.spawn(command + extra, stdout=out, stderr=subprocess.STDOUT)
    return process, time.monotonic()


def stop_cli(process, root):
    """Stops sonari-cli; what it reported: xruns, output blocks dropped, the latency estimate
    and the real-time scheduling it got (None where it says nothing)."""
    if not os.path.exists(os.path.join(root, "cli.txt")):  # the reference pair
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return {}
    process.send_signal(signal.SIGINT)
    process.wait(timeout=10)
    text = open(os.path.join(root, "cli.txt")).read()
    counts = re.search(r"Xruns: (\d+), output blocks dropped: (\d+)", text)
    estimate = re.search(r"about (\d+) ms", text)
    scheduling = re.search(r"Real-time scheduling: (.*)", text)
    return {"xruns": int(counts.group(1)) if counts else None,
            "dropped": int(counts.group(2)) if counts else None,
            "estimate_ms": int(estimate.group(1)) if estimate else None,
            "scheduling": scheduling.group(1) if scheduling else None}


def burst_lags(left, right, onsets_found):
    """Per burst: the lag (samples) of the cross-correlation peak of the input around its
    onset with the output, over 0..500 ms, where the two are correlated (the server resamples
    to the device rate and back, so they do not match sample for sample)."""
    lags = []
    span, most = int(0.05 * RATE), int(0.5 * RATE)
    for on in onsets_found:
        a = left[on - RATE // 100: on - RATE // 100 + span]
        b = right[on - RATE // 100: on - RATE // 100 + span + most]
        if len(a) < span or len(b) < span + most:
            continue
        n = 1 << int(np.ceil(np.log2(len(b) + len(a))))
        c = np.fft.irfft(np.fft.rfft(b, n) * np.conj(np.fft.rfft(a, n)), n)[: most]
        lag = int(np.argmax(c))
        seg = b[lag: lag + span]
        r = np.dot(a, seg) / (np.linalg.norm(a) * np.linalg.norm(seg) + 1e-12)
        if r > 0.5:
            lags.append(lag)
    return lags


def onsets(x, threshold, spacing):
    above = np.flatnonzero(np.abs(x) > threshold)
    found, last = [], -spacing
    for i in above:
        if i - last >= spacing:
            found.append(int(i))
        last = i
    return found


def measure_latency(server, args, root, rng):
    signal_, _ = burst_signal(rng, args.settle)
    source = os.path.join(root, "bursts.raw")
    open(source, "wb").write(raw(signal_))
    player = server.spawn(["paplay", "-d", "burst_in", "--raw", "--format=s16le",
                           "--rate=48000", "--channels=1", "--latency-msec=20", source],
                          realtime=True)
    began = time.monotonic()
    time.sleep(0.1)
    recording = Recording(server, os.path.join(root, "latency.raw"))
    time.sleep(max(0.0, began + 1.5 - time.monotonic()))
    cli, started = start_cli(server, args, root, [])
    player.wait()
    reported = stop_cli(cli, root)
    left, right = recording.stop()

    # start-up: the first output above a third of the noise level
    noise_level = np.sqrt(np.mean(left[np.abs(left) > 0.01] ** 2))
    first = np.flatnonzero(np.abs(right) > noise_level / 3)
    startup_ms = (recording.zero + first[0] / RATE - started) * 1000 if len(first) else None
    # latency: the bursts after the noise
    # the noise is the first sound of the input and lasts 4 s; the bursts follow
    sound = np.flatnonzero(np.abs(left) > 0.01)
    noise_end = sound[0] + 4 * RATE if len(sound) else 0
    gap = [i for i in onsets(left, 0.01, RATE // 10) if i > noise_end + RATE // 4]
    lags = burst_lags(left, right, gap)
    latency_ms = statistics.median(lags) * 1000 / RATE if lags else None
    return dict({"latency_ms": latency_ms, "bursts": len(lags), "startup_ms": startup_ms},
                **reported)


def measure_gaps(server, args, root, rng):
    seconds = args.seconds + 4
    t = np.arange(int(seconds * RATE)) / RATE
    source = os.path.join(root, "tone.raw")
    open(source, "wb").write(raw(0.25 * np.sin(2 * np.pi * 1000 * t)))
    player = server.spawn(["paplay", "-d", "burst_in", "--raw", "--format=s16le",
                           "--rate=48000", "--channels=1", "--latency-msec=20", source],
                          realtime=True)
    time.sleep(0.1)
    recording = Recording(server, os.path.join(root, "gaps.raw"))
    hogs = [server.spawn(["sh", "-c", "while :; do :; done"]) for _ in range(args.hogs)]
    time.sleep(1.0)
    extra = ["--stall-main", str(args.stall)] if args.stall else []
    cli, _ = start_cli(server, args, root, extra)
    time.sleep(args.seconds + 1.5)
    reported = stop_cli(cli, root)
    for hog in hogs:
        os.killpg(hog.pid, signal.SIGKILL)
        hog.wait()
    player.kill()
    left, right = recording.stop()

    # from a second after the sound arrived to half a second before the stop
    sound = np.flatnonzero(np.abs(right) > 0.05)
    if len(sound) == 0:
        return dict({"gaps": None}, **reported)
    begin = sound[0] + RATE
    end = min(begin + args.seconds * RATE, sound[-1] - RATE // 2)
    gaps, gap_frames, seconds = count_gaps(right[begin:end])
    # the microphone's own gaps, had the player been starved, are not the processor's
    input_gaps, _, _ = count_gaps(left[begin:end])
    return dict({"gaps": gaps, "gap_frames": gap_frames, "input_gaps": input_gaps,
                 "seconds": seconds}, **reported)


def count_gaps(x):
    """Gaps (runs of 5 ms frames below 30 % of the median r.m.s.), gap frames, seconds."""
    frames = x[: len(x) // FRAME * FRAME].reshape(-1, FRAME)
    level = np.sqrt(np.mean(frames ** 2, axis=1))
    low = level < 0.3 * np.median(level)
    events = int(np.sum(low[1:] & ~low[:-1]) + low[0])
    return events, int(np.sum(low)), len(level) * FRAME / RATE


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("what", choices=["latency", "gaps"])
    parser.add_argument("--cli", default="build/bin/sonari-cli")
    parser.add_argument("--server", choices=["pulseaudio", "pipewire"], default="pulseaudio")
    parser.add_argument("--latency", choices=["low", "normal"])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--settle", type=float, default=0.0)
    parser.add_argument("--hogs", type=int, default=0)
    parser.add_argument("--stall", type=int, default=0)
    parser.add_argument("--reference", type=int, metavar="MS",
                        help="measure parec | pacat at MS ms each instead of sonari-cli")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)

    results = []
    rng = np.random.default_rng(15)
    for run in range(args.runs):
        with tempfile.TemporaryDirectory(prefix="sonari-bench-") as root:
            server = Server(args.server, root).start()
            try:
                measure = measure_latency if args.what == "latency" else measure_gaps
                result = measure(server, args, root, rng)
            finally:
                server.stop()
        print("run %d: %s" % (run + 1, result), flush=True)
        results.append(result)
    for key in results[0]:
        values = [r[key] for r in results
                  if isinstance(r.get(key), (int, float)) and not isinstance(r.get(key), bool)]
        if values:
            print("median %s: %.1f (of %d runs, range %.1f..%.1f)"
                  % (key, statistics.median(values), len(values), min(values), max(values)))


if __name__ == "__main__":
    sys.exit(main())
