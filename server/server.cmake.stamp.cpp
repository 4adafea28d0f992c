// Keeps the pool library non-empty while its parts are being added.
