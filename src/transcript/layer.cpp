// Layer anchor: keeps the library non-empty while it grows.
