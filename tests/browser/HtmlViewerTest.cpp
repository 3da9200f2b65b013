// The HTML viewer in Chromium.
