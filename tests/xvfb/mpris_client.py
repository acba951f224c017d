#!/usr/bin/python3
"""The player's MPRIS object as a hostile caller meets it, on the session bus.

usage: mpris_client.py checks PATH_OF_THE_MOVIE_PLAYING
       mpris_client.py fuzz SECONDS SEED
       mpris_client.py flood SECONDS CALLS_A_SECOND

checks  each break found by hand, one by one: every call is answered at once, numbers are
        checked, only the names MPRIS gives are taken, the URL names the file's own bytes
fuzz    random methods, properties and values (wrong types, extremes, NaN, odd URIs) for
        SECONDS; fails when a call goes unanswered for 2 s or the player stops answering
flood   reads (Position, GetAll, Metadata) at CALLS_A_SECOND for SECONDS
"""
import math
import random
import sys
import time
import urllib.parse

import dbus

SERVICE = "org.mpris.MediaPlayer2.lunavue"
PATH = "/org/mpris/MediaPlayer2"
ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPS = "org.freedesktop.DBus.Properties"
TIMEOUT = 2.0

bus = dbus.SessionBus()


def call(interface, method, signature="", *args):
    return bus.call_blocking(SERVICE, PATH, interface, method, signature, args, timeout=TIMEOUT)


def get(name, interface=PLAYER):
    return call(PROPS, "Get", "ss", interface, name)


def set_(name, value, interface=PLAYER):
    return call(PROPS, "Set", "ssv", interface, name, value)


def error_of(work):
    """The D-Bus error name a call ends in, or None when it is answered."""
    try:
        work()
        return None
    except dbus.DBusException as e:
        name = e.get_dbus_name()
        if name == "org.freedesktop.DBus.Error.NoReply":
            sys.exit(f"FAILED: no answer within {TIMEOUT} s")
        return name


def expect(cond, what):
    if not cond:
        sys.exit(f"FAILED: {what}")
    print(f"ok: {what}")


def wait_for(name, value, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        if get(name) == value:
            return True
        time.sleep(0.1)
    return False


def checks(movie):
    invalid = "org.freedesktop.DBus.Error.InvalidArgs"
    # Bad openings answer at once, one after another (no box holds the call).
    start = time.time()
    for uri in ["file:///nonexistent/x.cpk", "file:///dev/zero", "file:///tmp",
                "file:///" + "a" * 65536, "file:///proc/self/mem"]:
        expect(error_of(lambda: call(PLAYER, "OpenUri", "s", uri)) is None,
               f"OpenUri {uri[:40]} answered")
    expect(time.time() - start < 5, "five bad openings answered within 5 s")
    expect(wait_for("PlaybackStatus", "Stopped") or get("PlaybackStatus") in ("Stopped", "Playing"),
           "the player answers after them")
    expect(error_of(lambda: call(PLAYER, "OpenUri", "s", "file://otherhost/tmp/x.cpk")) == invalid,
           "a file on another host is refused with InvalidArgs")
    expect(error_of(lambda: call(PLAYER, "OpenUri", "s", "http://example.com/x.cpk")) == invalid,
           "another scheme is refused")
    # Play the movie again, by its URL: the bytes of its name round-trip.
    url = "file://" + urllib.parse.quote(movie.encode("utf-8", "surrogateescape"), safe="/")
    expect(error_of(lambda: call(PLAYER, "OpenUri", "s", url)) is None, "OpenUri of the movie")
    expect(wait_for("PlaybackStatus", "Playing"), "it plays")
    meta = get("Metadata")
    got = urllib.parse.unquote_to_bytes(str(meta["xesam:url"])[len("file://"):])
    expect(got == movie.encode("utf-8", "surrogateescape"),
           f"xesam:url names the file's own bytes ({meta['xesam:url']})")
    # Numbers and names.
    for value in [dbus.Double(float("nan"), variant_level=1), dbus.String("1", variant_level=1)]:
        expect(error_of(lambda: set_("Volume", value)) == invalid, f"Volume = {value!r} refused")
    expect(abs(float(get("Volume")) - 1.0) < 1e-9, "the volume stays 1.0")
    for value in [dbus.String("Bogus", variant_level=1), dbus.String("", variant_level=1),
                  dbus.Int32(5, variant_level=1)]:
        expect(error_of(lambda: set_("LoopStatus", value)) == invalid,
               f"LoopStatus = {value!r} refused")
    expect(get("LoopStatus") == "None", "LoopStatus stays None")
    for name in ["Playlist", "Track", "None"]:
        set_("LoopStatus", dbus.String(name, variant_level=1))
        expect(wait_for("LoopStatus", name), f"LoopStatus {name} reads back")
    for value in [2.0, 0.0, float("nan")]:
        expect(error_of(lambda: set_("Rate", dbus.Double(value, variant_level=1))) == invalid,
               f"Rate = {value} refused")
    expect(error_of(lambda: set_("Shuffle", dbus.Boolean(True, variant_level=1))) is not None,
           "Shuffle is not offered")
    expect(error_of(lambda: call(PLAYER, "Seek", "s", "x")) == invalid, "Seek of a string refused")
    # Seek to the end of time ends the movie, as reaching its end does (no overflow to 0:00).
    call(PLAYER, "Seek", "x", 2**63 - 1)
    expect(wait_for("PlaybackStatus", "Stopped"), "Seek(INT64_MAX) ends the movie")
    call(PLAYER, "Seek", "x", -(2**63))
    expect(int(get("Position")) == 0, "Seek(INT64_MIN) stays at the start")


def random_value(rng):
    kinds = [
        lambda: dbus.Double(rng.choice([float("nan"), float("inf"), -float("inf"), 1e308,
                                        -1.0, 0.0, 0.5, 1.0, 2.0, rng.uniform(-10, 10)]),
                            variant_level=1),
        lambda: dbus.Int32(rng.randint(-2**31, 2**31 - 1), variant_level=1),
        lambda: dbus.Int64(rng.randint(-2**63, 2**63 - 1), variant_level=1),
        lambda: dbus.String(rng.choice(["None", "Track", "Playlist", "", "Bogus", "\u202e",
                                        "x" * 10000]), variant_level=1),
        lambda: dbus.Boolean(rng.random() < 0.5, variant_level=1),
        lambda: dbus.Array([dbus.String("a")], signature="s", variant_level=1),
    ]
    return rng.choice(kinds)()


def random_uri(rng):
    return rng.choice([
        "file:///nonexistent.cpk", "file:///dev/zero", "file:///tmp", "file:///dev/null",
        "file://otherhost/x.cpk", "file://localhost/nonexistent.cpk", "", "file:", "file://",
        "http://example.com/", "file:///%00x", "file:///" + "\u202e" * 100, "%%%",
        "file:///" + "b" * rng.randint(0, 5000),
    ])


def fuzz(seconds, seed):
    rng = random.Random(seed)
    names = ["PlaybackStatus", "LoopStatus", "Rate", "Shuffle", "Metadata", "Volume", "Position",
             "MinimumRate", "MaximumRate", "CanGoNext", "CanPlay", "Identity", "Bogus", ""]
    calls, errors = 0, {}
    end = time.time() + seconds
    while time.time() < end:
        what = rng.randrange(9)
        work = None
        if what == 0:
            m = rng.choice(["Next", "Previous", "Pause", "PlayPause", "Stop", "Play"])
            work = lambda: call(PLAYER, m)
        elif what == 1:
            offset = rng.choice([2**63 - 1, -(2**63), 0, rng.randint(-10**9, 10**9)])
            work = lambda: call(PLAYER, "Seek", "x", offset)
        elif what == 2:
            track = rng.choice(["/org/lunavue/movie/1", "/org/lunavue/movie/2", "/x",
                                "/org/mpris/MediaPlayer2/TrackList/NoTrack"])
            pos = rng.choice([2**63 - 1, -(2**63), -1, 0, rng.randint(0, 10**8)])
            work = lambda: call(PLAYER, "SetPosition", "ox", dbus.ObjectPath(track), pos)
        elif what == 3:
            uri = random_uri(rng)
            work = lambda: call(PLAYER, "OpenUri", "s", uri)
        elif what == 4:
            work = lambda: set_(rng.choice(names), random_value(rng),
                                rng.choice([PLAYER, PLAYER, ROOT, "org.bogus"]))
        elif what == 5:
            work = lambda: get(rng.choice(names), rng.choice([PLAYER, ROOT, "org.bogus"]))
        elif what == 6:
            work = lambda: call(PROPS, "GetAll", "s", rng.choice([PLAYER, ROOT, ""]))
        elif what == 7:
            # Wrong signatures.
            m = rng.choice(["Seek", "SetPosition", "OpenUri", "Play", "Get", "Set"])
            iface = PROPS if m in ("Get", "Set") else PLAYER
            work = lambda: call(iface, m, "sd", "x", float("nan"))
        else:
            work = lambda: call(ROOT, "Raise")
        name = error_of(work)
        calls += 1
        if name:
            errors[name] = errors.get(name, 0) + 1
    expect(get("PlaybackStatus") in ("Playing", "Paused", "Stopped"), "the player still answers")
    print(f"{calls} calls; errors: {errors}")


def flood(seconds, rate):
    period = 1.0 / rate
    calls = 0
    start = time.time()
    reads = [lambda: get("Position"), lambda: call(PROPS, "GetAll", "s", PLAYER),
             lambda: get("Metadata")]
    while time.time() - start < seconds:
        reads[calls % len(reads)]()
        calls += 1
        ahead = start + calls * period - time.time()
        if ahead > 0:
            time.sleep(ahead)
    print(f"{calls} calls in {time.time() - start:.1f} s")


if __name__ == "__main__":
    mode = sys.argv[1]
    if mode == "checks":
        checks(sys.argv[2])
    elif mode == "fuzz":
        fuzz(float(sys.argv[2]), int(sys.argv[3]))
    elif mode == "flood":
        flood(float(sys.argv[2]), float(sys.argv[3]))
    else:
        sys.exit(__doc__)
