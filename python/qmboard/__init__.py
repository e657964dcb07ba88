"""Bench API for QM evaluation boards."""
