#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, then shows the
# programs at work.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup.sh
echo "Built into build/. Run the tests with: bash scripts/test.sh"
