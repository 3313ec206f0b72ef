#!/usr/bin/env bash
# Regenerates the reference outputs of the end-to-end tests from the current
# build. Only for a deliberate change of results: review `git diff
# tests/e2e/reference` and say why in the commit.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
FOCUSTRACK_UPDATE_REFERENCES=1 ./build/focustrack_tests --gtest_filter='EndToEnd.*:SyntheticRun.MatchesReference'
git status --short tests/e2e/reference
