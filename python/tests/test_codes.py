"""The package's numbers and error words against the public headers they come from."""

from __future__ import annotations

import re
from pathlib import Path

import pelnik
from pelnik import _codes

INCLUDE = Path(__file__).resolve().parents[2] / "include"


def _defines(prefix: str) -> dict[str, int]:
    text = (INCLUDE / "PelnikSdk_R5M_LX.h").read_text()
    found = re.findall(rf"^#define (PELNIK_{prefix}\w*)\s+(0x[0-9A-Fa-f]+|\d+)", text, re.M)
    return {name[len("PELNIK_") :]: int(value, 0) for name, value in found}


def test_every_code_of_the_public_header_is_in_the_module_with_its_value():
    defines = {}
    for prefix in ("ERR_", "WM_", "RECORD_END_", "FILE_"):
        found = _defines(prefix)
        assert found, f"no PELNIK_{prefix} in the header"
        defines.update(found)
    module = {
        name: getattr(_codes, name) for name in dir(_codes) if name.isupper() and isinstance(getattr(_codes, name), int)
    }
    assert module == defines


def test_error_words_match_the_c_table_entry_for_entry():
    text = (INCLUDE / "PelnikErrors.h").read_text()
    entries = re.findall(r'^\s*\{PELNIK_(ERR_\w+), "([^"]*)"\},', text, re.M)
    assert len(entries) == len(_codes.ERROR_TEXTS)
    for name, words in entries:
        assert _codes.ERROR_TEXTS[getattr(_codes, name)] == words, name
    unknown = re.search(r'return "([^"]*)";\s*\}', text)
    assert unknown and unknown.group(1) == _codes.UNKNOWN_ERROR_TEXT


def test_errors_read_as_words_with_the_code_in_brackets():
    error = pelnik.PelnikError(_codes.ERR_CAMERA_ABSENT, "Pelnik_SetDeviceNumber", "camera 3")
    assert str(error) == (
        "Pelnik_SetDeviceNumber: camera 3: the camera is not connected or another process is using it (error 2)"
    )
    assert pelnik.meaning(99) == "unknown error"


def test_no_bare_error_numbers_in_the_package():
    # Every raise names its code through _codes.
    package = Path(pelnik.__file__).parent
    for source in package.glob("*.py"):
        assert not re.search(r"(PelnikError|FrameTimeout)\(\d", source.read_text()), source.name


def test_the_version_is_the_one_cmake_declares():
    cmake = (INCLUDE.parent / "CMakeLists.txt").read_text()
    declared = re.search(r"project\(PelnikSdk VERSION (\d+\.\d+\.\d+)", cmake).group(1)
    assert pelnik.__version__ == declared


def test_colour_modes_and_subsample_divisors_are_those_of_the_modes_header():
    text = (INCLUDE / "PelnikModes.h").read_text()
    table = re.search(r"kPelnikColourModes\[[A-Z_]+\] = \{(.*?)\};", text, re.S).group(1)
    rows = tuple(tuple(int(v) for v in row.split(",")) for row in re.findall(r"\{([\d, ]+)\}", table))
    assert rows == _codes.COLOUR_MODES
    body = re.search(r"PelnikSubsampleDivisor\(int subsample\) \{(.*?)\n\}", text, re.S).group(1)
    divisors = {}
    for cases, divisor in re.findall(r"((?:case \d+:\s*)+)return (\d+);", body):
        for value in re.findall(r"case (\d+):", cases):
            divisors[int(value)] = int(divisor)
    assert divisors == _codes.SUBSAMPLE_DIVISORS
