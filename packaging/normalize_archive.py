#!/usr/bin/env python3
"""Rewrites a release archive (.zip or .tar.gz) in place so that its bytes
depend only on what it holds, not on who packed it or when: every entry keeps
its name, order, permissions and content; its time becomes SOURCE_DATE_EPOCH,
its owner root; no extra fields, no time or name in the gzip header.

Usage: normalize_archive.py ARCHIVE EPOCH
"""
import gzip
import io
import sys
import tarfile
import time
import zipfile


def normalize_zip(path, epoch):
    # A ZIP cannot hold a time before 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    out = io.BytesIO()
    with zipfile.ZipFile(path) as old, zipfile.ZipFile(out, "w") as new:
        for entry in old.infolist():
            info = zipfile.ZipInfo(entry.filename, date_time=stamp)
            info.create_system = 3  # Unix, so that the permissions below count
            info.external_attr = entry.external_attr & 0xFFFF0000
            info.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(info, old.read(entry), compresslevel=9)
    return out.getvalue()


def normalize_tar_gz(path, epoch):
    out = io.BytesIO()
    with tarfile.open(path, "r:gz") as old, gzip.GzipFile(
        filename="", fileobj=out, mode="wb", compresslevel=9, mtime=0
    ) as packed, tarfile.open(fileobj=packed, mode="w", format=tarfile.USTAR_FORMAT) as new:
        for entry in old.getmembers():
            info = tarfile.TarInfo(entry.name)
            info.type, info.mode, info.size = entry.type, entry.mode, entry.size
            info.linkname = entry.linkname
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            new.addfile(info, old.extractfile(entry) if entry.isfile() else None)
    return out.getvalue()


def main():
    path, epoch = sys.argv[1], int(sys.argv[2])
    if path.endswith(".zip"):
        data = normalize_zip(path, epoch)
    elif path.endswith(".tar.gz"):
        data = normalize_tar_gz(path, epoch)
    else:
        sys.exit(f"normalize_archive: not a .zip or .tar.gz: {path}")
    with open(path, "wb") as target:
        target.write(data)


if __name__ == "__main__":
    main()
