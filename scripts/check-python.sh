#!/bin/sh
# Fails when the Python package or its tests differ from black's layout or
# draw a pylint error; both read their settings from python/pyproject.toml.
set -eu
cd "$(dirname "$0")/../python"
for tool in black pylint; do
  command -v "$tool" >/dev/null || { echo "check-python: $tool is missing (apt-get install $tool)" >&2; exit 1; }
done
black --check --quiet --config pyproject.toml pelnik tests
# The tests import pytest, numpy and the package from this tree.
PYTHONPATH=. pylint --rcfile=pyproject.toml pelnik tests
echo "check-python: the package follows black and pylint"
