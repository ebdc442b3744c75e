// Filled in by the reader's own change.
