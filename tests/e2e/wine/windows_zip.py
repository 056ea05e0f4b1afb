#!/usr/bin/env python3
"""The Windows .zip as CPack makes it from the Windows build
(cmake/packaging.cmake): it holds HUEVEX.exe at its top, the very file the
build made, and nothing else. Needs no Wine."""

import os
import subprocess
import zipfile

from harness import session, wine


def test():
    args = wine.arguments()
    checks = session.Checks()
    build = os.path.dirname(args.huevex)
    if not os.path.isfile(os.path.join(build, "CPackConfig.cmake")):
        raise session.Failure(f"no CPack configuration in {build}")
    package = os.path.join(args.artifacts, "package")

    with checks.case("cpack -G ZIP in the Windows build"):
        # CPack brings the build up to date first.
        with open(os.path.join(args.artifacts, "cpack.log"), "wb") as log:
            try:
                status = subprocess.run(["cpack", "-G", "ZIP", "--config",
                                         os.path.join(build, "CPackConfig.cmake"), "-B", package],
                                        stdout=log, stderr=subprocess.STDOUT,
                                        timeout=240).returncode
            except subprocess.TimeoutExpired:
                status = "timed out"
        checks.equal("cpack's exit status", status, 0)
        zips = sorted(n for n in os.listdir(package) if n.endswith(".zip")) \
            if os.path.isdir(package) else []
        checks.equal("the package", zips, ["HUEVEX-1.0-windows-x64.zip"])

    with checks.case("the zip's content"):
        path = os.path.join(package, "HUEVEX-1.0-windows-x64.zip")
        try:
            archive = zipfile.ZipFile(path)
        except (OSError, zipfile.BadZipFile) as error:
            raise session.Failure(f"cannot open {path}: {error}")
        with archive:
            checks.equal("the files", archive.namelist(), ["HUEVEX.exe"])
            checks.equal("unzip -t", subprocess.run(["unzip", "-tq", path],
                                                    capture_output=True).returncode, 0)
            with open(args.huevex, "rb") as f:
                checks.true("HUEVEX.exe is the program the build made",
                            "HUEVEX.exe" in archive.namelist()
                            and archive.read("HUEVEX.exe") == f.read())
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
