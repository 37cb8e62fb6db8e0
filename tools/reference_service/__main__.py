"""Entry point: python3 tools/reference_service --dir DIR ..."""
import os
import sys

# Run as a folder, Python puts this folder first on the path; our module names
# must not shadow the standard library, so import through the package instead.
_here = os.path.dirname(os.path.abspath(__file__))
if sys.path and os.path.abspath(sys.path[0] or ".") == _here:
    sys.path.pop(0)
sys.path.insert(0, os.path.dirname(_here))

from reference_service.app import main  # noqa: E402

sys.exit(main(sys.argv[1:]))
