// The UpdateSQL editor form, driven as a person would.
