#!/usr/bin/env bash
# Lists the Windows release ZIP and checks it: the exe as built and the
# read-me, nothing else; the read-me with CR LF line ends throughout.
# Usage: check_package.sh package.zip script-corvaldo.exe
set -euo pipefail
zip=$1
exe=$2
python3 - "$zip" "$exe" <<'EOF'
import sys
import zipfile

zip_path, exe_path = sys.argv[1], sys.argv[2]
failed = []
with zipfile.ZipFile(zip_path) as package:
    print(f"{zip_path}:")
    for info in package.infolist():
        print(f"  {info.file_size:>9}  {info.filename}")
    names = sorted(package.namelist())
    if names != ["README.txt", "script-corvaldo.exe"]:
        failed.append(f"unexpected contents {names}")
    else:
        with open(exe_path, "rb") as built:
            if package.read("script-corvaldo.exe") != built.read():
                failed.append("the packaged exe is not the one built")
        readme = package.read("README.txt")
        lines = readme.split(b"\r\n")
        if lines[-1] != b"" or any(b"\n" in line or b"\r" in line for line in lines):
            failed.append("README.txt has line ends other than CR LF")
        for needed in (b"PORTUGU\xcaS", b"ENGLISH", b"/s", b"/b", b"/td", b"/r", b"backup-original"):
            if needed not in readme:
                failed.append(f"README.txt lacks {needed!r}")
for failure in failed:
    print(f"FAIL  {failure}")
print(f"package: {0 if failed else 1} passed, {1 if failed else 0} failed")
sys.exit(1 if failed else 0)
EOF
