#!/usr/bin/env python3
"""Compares the files pelnik-capture wrote on Windows with the Linux build's.

    compare_capture_files.py WINDOWS_DIR LINUX_DIR

Still pictures (every file of every still-* folder but the tool's .txt notes
of a buffer's geometry, text with each system's line ends) must be equal
byte for byte. movie.avi holds the virtual camera's frames in colour mode 8: frame
chunks that carry the same frame stamp must be equal byte for byte (which
frames a recording catches, and so its measured rate, depends on timing).
"""
import os
import struct
import sys

MIN_COMMON_FRAMES = 3


def frame_chunks(path):
    """The frame chunks of an AVI file by the stamp's frame number."""
    data = open(path, "rb").read()
    movi = data.index(b"movi") + 4
    chunks = {}
    pos = movi
    while pos + 8 <= len(data) and data[pos : pos + 4] == b"00db":
        (length,) = struct.unpack_from("<I", data, pos + 4)
        frame = data[pos + 8 : pos + 8 + length]
        # Grey frames: each stamp byte is a pixel's blue, green and red.
        stamp = frame[0:24:3]
        if stamp[:2] != b"PN":
            raise SystemExit(f"{path}: a frame at {pos} carries no stamp")
        (number,) = struct.unpack_from("<I", stamp, 2)
        chunks[number] = frame
        pos += 8 + length
    return chunks


def main(windows, linux):
    failures = []
    stills = 0
    for folder in sorted(os.listdir(linux)):
        if not folder.startswith("still-"):
            continue
        for name in sorted(os.listdir(os.path.join(linux, folder))):
            if name.endswith(".txt"):
                continue
            stills += 1
            mine = os.path.join(windows, folder, name)
            theirs = os.path.join(linux, folder, name)
            if not os.path.exists(mine):
                failures.append(f"{folder}/{name}: not written on Windows")
            elif open(mine, "rb").read() != open(theirs, "rb").read():
                failures.append(f"{folder}/{name}: differs from the Linux file")
    if stills == 0:
        failures.append("the Linux build wrote no still pictures")
    win = frame_chunks(os.path.join(windows, "movie.avi"))
    lin = frame_chunks(os.path.join(linux, "movie.avi"))
    common = sorted(set(win) & set(lin))
    if len(common) < MIN_COMMON_FRAMES:
        failures.append(f"only {len(common)} frames in both movies")
    failures += [f"movie frame {n} differs" for n in common if win[n] != lin[n]]
    print(
        f"compared {stills} still files; movie frames {len(win)} (Windows), "
        f"{len(lin)} (Linux), {len(common)} compared"
    )
    for failure in failures:
        print("differs:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
