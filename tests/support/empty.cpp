// Keeps the support library non-empty while it holds no other source.
