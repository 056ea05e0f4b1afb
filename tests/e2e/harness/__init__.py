"""The end-to-end harness: a session on a display (session.py) and the Wine
specifics on top of it (wine.py)."""
