#!/usr/bin/python3
"""Envelope overshoot, peak factor and out-of-band levels of processed speech.

    python3 bench/overshoot_figures.py OUT.wav ...

for outputs of `sonari-cli process --float` (16-bit files work too). Per file: the peak and the
99.9th percentile of the analytic envelope in dB re the clip level K (-6.02 dBFS), the peak
factor (sample peak over r.m.s., as sonari-cli prints it) and the same with the envelope peak,
the r.m.s. level, and the out-of-band levels: the loudest 100 Hz bin below 200 Hz, from 3.0 to
3.5 kHz and above 3.5 kHz, each in dB re the loudest bin between the default cut-offs (300 to
2700 Hz). Give the inputs at least the chain's delay of trailing silence, so no output loses
speech at its end.
"""
import struct
import sys

import numpy as np

K = 0.5  # the clip level 2^30 at +-1.0 full scale


def read_wav(name):
    """Rate and channel 0 of a PCM-16 or float-32 WAV file, at +-1.0 full scale."""
    data = open(name, 'rb').read()
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            tag, channels, rate = struct.unpack('<HHI', body[:8])
            if tag == 0xFFFE:
                tag = struct.unpack('<H', body[24:26])[0]
            fmt = (tag, channels, rate)
        elif cid == b'data':
            tag, channels, rate = fmt
            if tag == 3:
                samples = np.frombuffer(body, '<f4').astype(np.float64)
            else:
                samples = np.frombuffer(body, '<i2').astype(np.float64) / 32768
            samples = samples[::channels]
        pos += 8 + size + (size & 1)
    return fmt[2], samples


def envelope(x):
    """|x + j H{x}| from one transform of the whole signal, zero-padded to twice its length."""
    n = 1 << int(np.ceil(np.log2(len(x) * 2)))
    spectrum = np.fft.fft(x, n)
    spectrum[1:n // 2] *= 2
    spectrum[n // 2 + 1:] = 0
    return np.abs(np.fft.ifft(spectrum)[:len(x)])


def out_of_band(x, rate, lo=300, hi=2700):
    """Loudest 100 Hz bin below 200 Hz, in 3.0-3.5 kHz and above 3.5 kHz, dB re the loudest
    in-band bin. 4096-point frames with Nuttall's window (side lobes below -93 dB, falling
    18 dB per octave) every 512 samples, so neither the band's leakage nor a delay moves them."""
    n = 4096
    t = 2 * np.pi * np.arange(n) / n
    window = 0.355768 - 0.487396 * np.cos(t) + 0.144232 * np.cos(2 * t) - 0.012604 * np.cos(3 * t)
    power = np.zeros(n // 2 + 1)
    for first in range(0, len(x) - n + 1, n // 8):
        power += np.abs(np.fft.rfft(x[first:first + n] * window)) ** 2
    hz = np.arange(n // 2 + 1) * rate / n
    bins = np.zeros(int(rate / 2 // 100) + 1)
    np.add.at(bins, (hz // 100).astype(int), power)
    centre = np.arange(len(bins)) * 100 + 50
    db = 10 * np.log10(bins + 1e-300)
    inband = db[(centre > lo) & (centre < hi)].max()
    return tuple(db[sel].max() - inband for sel in (
        centre < 200, (centre > 3000) & (centre < 3500), centre > 3500))


def figures(name):
    rate, x = read_wav(name)
    e = envelope(x)
    rms = np.sqrt(np.mean(x ** 2))
    db = lambda v: 20 * np.log10(v)
    return (rate, db(e.max() / K), db(np.percentile(e, 99.9) / K), db(np.abs(x).max() / rms),
            db(e.max() / rms), db(rms)) + out_of_band(x, rate)


def main(names):
    print('%-28s %6s %7s %6s %6s %6s %7s  %s' % (
        'file', 'rate', 'over', 'p99.9', 'PF', 'envPF', 'rms', 'out of band: <200 3-3.5k >3.5k'))
    for name in names:
        print('%-28s %6d %+7.2f %+6.2f %6.2f %6.2f %7.2f  %6.1f %6.1f %6.1f'
              % ((name,) + figures(name)))


if __name__ == '__main__':
    main(sys.argv[1:])
