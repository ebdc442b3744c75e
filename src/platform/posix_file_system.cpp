// Filled in by the platform change.
