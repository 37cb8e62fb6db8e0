"""Scriptable stand-in for the service's update, detection and heartbeat servers."""
