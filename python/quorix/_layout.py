"""Where an installed package finds libquorix_api.so.3: a folder relative to the package's
own folder. None in the source tree; the install puts a file with the real one here."""

from typing import Optional

LIBRARY_DIR: Optional[str] = None
