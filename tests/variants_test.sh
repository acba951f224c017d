#!/usr/bin/env bash
# The FILM movies of other layouts (tests/fixtures/variants) through cpktool: every frame and
# the whole sound equal the references of their .json (an independent decoder's, as MD5s of
# top-down BGR frames and of the device's sound); a seek into the middle gives the reference
# frame; playing from the middle with SDL's disk driver gives the reference sound from that
# time's sample on; info names the layout; a movie of sound alone has no thumbnail.
# usage: variants_test.sh CPKTOOL FIXTURES
source "$(dirname "$0")/strict.sh"
cpktool=$1
folder=$2/variants
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$cpktool" "$folder" "$work" <<'PY'
import hashlib, json, os, subprocess, sys
tool, folder, work = sys.argv[1:4]
md5 = lambda b: hashlib.md5(b).hexdigest()
def run(*args, env=None):
    return subprocess.run([tool, *args], check=True, capture_output=True, env=env).stdout.decode()
failures = []
for name in sorted(f for f in os.listdir(folder) if f.endswith(".json")):
    j = json.load(open(os.path.join(folder, name)))
    movie = os.path.join(folder, j["file"])
    what = j["variant"]
    info = run("info", movie)
    layout = "version 0" if j.get("container_version_hex") == "00000000" else "standard 1.09"
    if f"layout: {layout}" not in info:
        failures.append(f"{what}: info says {info.splitlines()[0]}")
    size = j["width"] * j["height"] * 3
    if j["frames"]:
        run("frames", movie, f"{work}/all.bgr")
        data = open(f"{work}/all.bgr", "rb").read()
        got = [md5(data[i:i + size]) for i in range(0, len(data), size)]
        if got != j["frame_md5s"]:
            same = sum(a == b for a, b in zip(got, j["frame_md5s"]))
            failures.append(f"{what}: {same} of {len(j['frame_md5s'])} frames equal")
        mid = j["frames"] // 2
        run("frames", movie, f"{work}/mid.bgr", "--start", str(mid), "--count", "1")
        if md5(open(f"{work}/mid.bgr", "rb").read()) != j["frame_md5s"][mid]:
            failures.append(f"{what}: frame {mid} after a seek differs")
    else:
        status = subprocess.run([tool, "thumbnail", movie, f"{work}/t.png"], capture_output=True)
        if status.returncode != 2 or os.path.exists(f"{work}/t.png"):
            failures.append(f"{what}: a thumbnail of sound alone ({status.returncode})")
    run("audio", movie, f"{work}/sound.pcm")
    sound = open(f"{work}/sound.pcm", "rb").read()
    if md5(sound) != j["audio_md5"]:
        failures.append(f"{what}: the sound differs ({len(sound)} bytes)")
    if not sound:
        continue
    # From the middle, with the real engine and clock: the reference from that sample on.
    seconds = len(sound) / (j["rate"] * j["channels"] * j["device_bits"] // 8) / 2
    start = int(seconds * 1000) // 100 * 100
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=f"{work}/captured.raw")
    run("play", movie, "--start", f"{start / 1000}", env=env)
    captured = open(f"{work}/captured.raw", "rb").read()
    frame = j["channels"] * j["device_bits"] // 8
    want = sound[start * j["rate"] // 1000 * frame:]
    if want not in captured:
        failures.append(f"{what}: the sound played from {start} ms is not the reference's")
for f in failures:
    print("FAILED:", f)
sys.exit(1 if failures else 0)
PY
echo "variants: frames, sound, seeks and layouts equal the references"
