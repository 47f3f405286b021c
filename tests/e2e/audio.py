"""Sound analysis for the acceptance tests, in plain Python (no third-party modules).

The tests ask three questions of a stretch of recorded sound: is it silent, is a given tone
there (Goertzel at the tone's frequency against its neighbours), and which of a few reference
sounds does its spectrum look like (a band-energy profile compared by shape). Every check is
relative: to the stretch's own energy or to neighbouring frequencies, never an absolute level,
since the stream, the cue and the noises come at levels we do not control.
"""

import array
import cmath
import math
import wave

# Bands for the profile: log-spaced from 150 Hz to 7 kHz, below the Nyquist frequency of the
# 16 kHz recording and of every reference file.
PROFILE_EDGES = [150.0 * (7000.0 / 150.0) ** (i / 14) for i in range(15)]
FRAME = 1024


def from_s16le(data):
    """Mono signed 16-bit little-endian bytes as floats in [-1, 1)."""
    samples = array.array("h")
    samples.frombytes(data[: len(data) // 2 * 2])
    return [s / 32768.0 for s in samples]


def read_wav(path, limit_seconds=4.0):
    """A WAV file as (mono floats, rate); channels are averaged. Only 8- and 16-bit PCM."""
    with wave.open(path, "rb") as w:
        rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
        frames = w.readframes(min(w.getnframes(), int(rate * limit_seconds)))
    if width == 2:
        values = array.array("h")
        values.frombytes(frames)
        scale = 32768.0
        flat = list(values)
    elif width == 1:
        flat = [b - 128 for b in frames]
        scale = 128.0
    else:
        raise ValueError("unsupported sample width %d in %s" % (width, path))
    mono = [sum(flat[i:i + channels]) / (channels * scale) for i in range(0, len(flat), channels)]
    return mono, rate


def write_wav(path, samples, rate):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(array.array("h", (max(-32768, min(32767, int(s * 32768))) for s in samples)).tobytes())


def rms(x):
    return math.sqrt(sum(s * s for s in x) / len(x)) if x else 0.0


def goertzel(x, frequency, rate):
    """Power of x at one frequency (the squared magnitude of that DFT coefficient, over N^2)."""
    coeff = 2.0 * math.cos(2.0 * math.pi * frequency / rate)
    s1 = s2 = 0.0
    for sample in x:
        s1, s2 = sample + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return power / (len(x) ** 2)


def tone_db(x, frequency, rate):
    """How far the tone stands above its neighbourhood, in dB: Goertzel power at the frequency
    over the mean power at six frequencies 60 to 180 Hz away. A Hann window keeps the leakage
    of a strong tone out of its neighbours. About 0 dB for noise, far above 20 for a tone."""
    n = len(x)
    w = [s * (0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1))) for i, s in enumerate(x)]
    at = goertzel(w, frequency, rate)
    around = [goertzel(w, frequency + d, rate) for d in (-180, -120, -60, 60, 120, 180)]
    floor = sum(around) / len(around)
    return 10.0 * math.log10((at + 1e-20) / (floor + 1e-20))


def tone_share(x, frequency, rate):
    """The share of the stretch's energy that lies in the tone at `frequency`: about 1 for a
    pure sine at that frequency, near 0 for noise or for a tone elsewhere."""
    n = len(x)
    mean_square = sum(s * s for s in x) / n
    if mean_square <= 0:
        return 0.0
    w = [s * (0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1))) for i, s in enumerate(x)]
    # A sine of amplitude A gives a Hann-windowed Goertzel power of A^2/16 and a mean
    # square of A^2/2, hence the factor 8.
    return 8.0 * goertzel(w, frequency, rate) / mean_square


def fft(values):
    """Iterative radix-2 FFT of a list of complex numbers whose length is a power of two."""
    n = len(values)
    a = list(values)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    size = 2
    while size <= n:
        step = cmath.exp(-2j * math.pi / size)
        half = size // 2
        for start in range(0, n, size):
            w = 1.0
            for k in range(start, start + half):
                t = w * a[k + half]
                a[k + half] = a[k] - t
                a[k] += t
                w *= step
        size *= 2
    return a


def band_energies(x, rate):
    """Welch-averaged energy in each profile band (Hann frames of 1024, half overlap)."""
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / (FRAME - 1)) for i in range(FRAME)]
    bins = [0.0] * (FRAME // 2)
    frames = 0
    for start in range(0, len(x) - FRAME + 1, FRAME // 2):
        spectrum = fft([x[start + i] * window[i] for i in range(FRAME)])
        for k in range(FRAME // 2):
            c = spectrum[k]
            bins[k] += c.real * c.real + c.imag * c.imag
        frames += 1
    if frames == 0:
        raise ValueError("too few samples for a spectrum")
    energies = []
    for low, high in zip(PROFILE_EDGES, PROFILE_EDGES[1:]):
        first = int(math.ceil(low * FRAME / rate))
        last = int(math.floor(high * FRAME / rate))
        energies.append(sum(bins[first:last + 1]) / frames)
    return energies


def profile(x, rate):
    """The spectral shape in dB per band, with its mean removed so that level does not count."""
    db = [10.0 * math.log10(e + 1e-18) for e in band_energies(x, rate)]
    mean = sum(db) / len(db)
    return [d - mean for d in db]


def profile_distance(a, b):
    """RMS difference of two profiles in dB."""
    return math.sqrt(sum((p - q) ** 2 for p, q in zip(a, b)) / len(a))


def is_broadband(x, rate, spread_db=30.0):
    """True when the energy is spread like noise: most bands lie within spread_db of the
    strongest one, and no single band carries most of the energy."""
    energies = band_energies(x, rate)
    strongest = max(energies)
    if strongest <= 0:
        return False
    close = sum(1 for e in energies if e > strongest * 10 ** (-spread_db / 10))
    return close >= len(energies) // 2 and strongest < 0.8 * sum(energies)
