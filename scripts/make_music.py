#!/usr/bin/python3
"""Writes a short stereo piece as a 16-bit 44100 Hz WAV file: plucked notes with decaying
envelopes, a bass line on the left and a melody on the right, and a louder last bar, so that
a waveform picture of it can be told apart from noise.  With --peaks PNG it also draws the
file's peaks per pixel column (numpy and ImageMagick), to compare with Klangor's picture.
    make_music.py OUT.wav [--peaks OUT.png --width N]"""
import subprocess
import sys
import wave

import numpy as np

RATE = 44100


def piece():
    seconds = 12.0
    n = int(RATE * seconds)
    left = np.zeros(n)
    right = np.zeros(n)
    t = np.arange(n) / RATE
    bass = [55.0, 55.0, 73.42, 65.41, 55.0, 82.41, 73.42, 55.0]
    melody = [440.0, 523.25, 659.26, 587.33, 523.25, 493.88, 440.0, 392.0, 440.0, 523.25, 659.26, 783.99]
    for i, f in enumerate(bass * 3):
        start = int(i * 0.5 * RATE)
        if start >= n:
            break
        length = min(int(0.5 * RATE), n - start)
        tt = t[:length]
        level = 0.35 + (0.3 if i >= 16 else 0)
        left[start:start + length] += level * np.exp(-tt * 4) * np.sin(2 * np.pi * f * tt)
    for i, f in enumerate(melody * 2):
        start = int((0.25 + i * 0.5) * RATE)
        if start >= n:
            break
        length = min(int(0.45 * RATE), n - start)
        tt = t[:length]
        level = 0.25 + 0.02 * i
        right[start:start + length] += level * np.exp(-tt * 7) * (np.sin(2 * np.pi * f * tt) + 0.3 * np.sin(4 * np.pi * f * tt))
    return np.stack([left, right], axis=1).clip(-1, 1)


def write(path, frames):
    data = (frames * 32767).astype('<i2')
    with wave.open(path, 'wb') as out:
        out.setnchannels(frames.shape[1])
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(data.tobytes())


def peaks(frames, path, width, height=200):
    """Per column the largest and smallest sample of all channels, drawn around the centre."""
    mono_max = frames.max(axis=1)
    mono_min = frames.min(axis=1)
    edges = np.linspace(0, len(frames), width + 1).astype(int)
    image = np.zeros((height, width), dtype=np.uint8)
    for c in range(width):
        a, b = edges[c], max(edges[c + 1], edges[c] + 1)
        top = int(mono_max[a:b].max() * height / 2)
        bottom = int(-mono_min[a:b].min() * height / 2)
        image[height // 2 - top:height // 2 + bottom + 1, c] = 255
    header = b'P5 %d %d 255\n' % (width, height)
    subprocess.run(['convert', '-', path], input=header + image.tobytes(), check=True)


if __name__ == '__main__':
    frames = piece()
    write(sys.argv[1], frames)
    if '--peaks' in sys.argv:
        width = int(sys.argv[sys.argv.index('--width') + 1]) if '--width' in sys.argv else 1000
        peaks(frames, sys.argv[sys.argv.index('--peaks') + 1], width)
