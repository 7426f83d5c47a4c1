// The live screen. While the Live switch is on the page holds GET /api/live open; the program copies the
// instrument's screen every interval while any viewer does, and this stream says which picture to fetch, or why
// there is none (the picture page, no signal, no instrument). Switching off closes the stream, and with the last
// viewer gone the instrument is left alone. Read with fetch rather than EventSource for the Authorization header.
"use strict";

(() => {
  const el = (id) => document.getElementById(id);
  const toggle = el("live"), img = el("live-screen"), reason = el("live-reason"), stamp = el("live-time");
  const section = toggle.closest("section");
  let stream = null;  // the AbortController of the open stream
  let shown = 0, newest = null, fetching = false, everySeconds = 0;

  const headers = () => {
    const t = sessionStorage.getItem("qv7700-token");
    return t ? { Authorization: "Bearer " + t } : {};
  };

  function why(text) {
    reason.textContent = text;
    reason.hidden = !text;
    if (text) img.hidden = true;  // no stale picture under a reason
  }

  // Only the newest frame is fetched: frames that came while one was on its way are skipped.
  async function fetchNewest() {
    if (fetching) return;
    fetching = true;
    while (newest && newest.frame > shown && stream) {
      const frame = newest;
      try {
        const res = await fetch(frame.url.replace(/^\//, ""), { headers: headers() });  // relative: under /i/ID/ too
        if (res.ok && stream && frame.frame > shown) {
          const old = img.src;
          img.src = URL.createObjectURL(await res.blob());
          if (old) URL.revokeObjectURL(old);
          shown = frame.frame;
          img.dataset.frame = String(frame.frame);
          img.hidden = false;
          why("");
          stamp.textContent = `live, every ${everySeconds} s: picture of ${new Date(frame.time).toLocaleTimeString()}`;
        }
      } catch (e) {
        break;
      }
      if (newest === frame) break;
    }
    fetching = false;
  }

  function handle(name, data) {
    if (name === "live") {
      everySeconds = data.interval;
      stamp.textContent = `live, every ${everySeconds} s: waiting for the first picture…`;
    } else if (name === "frame") {
      newest = data;
      fetchNewest();
    } else if (name === "unavailable") {
      newest = null;
      why("No live picture: " + data.reason);
      stamp.textContent = `live, every ${everySeconds} s`;
    }
  }

  async function follow(controller) {
    try {
      const res = await fetch("api/live", { headers: headers(), signal: controller.signal });
      if (res.status === 401) {
        why("The live screen needs the token on this address (enter it above).");
        return;
      }
      if (!res.ok) {
        why(`The live screen was refused (${res.status}).`);
        return;
      }
      await readEvents(res, handle);  // the page's own reader (app.js)
    } catch (e) {
      if (controller.signal.aborted) return;  // switched off
    }
    // The server went away or ended the stream: try again while the switch is on.
    if (stream === controller) {
      why("The live stream was lost; reconnecting…");
      setTimeout(() => { if (stream === controller) start(); }, 2000);
    }
  }

  function start() {
    shown = 0;  // a restarted program counts its frames from 1 again
    stream = new AbortController();
    follow(stream);
  }

  function stop() {
    if (stream) stream.abort();
    stream = null;
    newest = null;
    img.hidden = true;
    why("");
    stamp.textContent = "";
  }

  toggle.addEventListener("change", () => {
    section.classList.toggle("live", toggle.checked);
    if (toggle.checked) start();
    else stop();
  });
  // A page restored with the switch on (back button, reload keeping form state) goes live again.
  if (toggle.checked) {
    section.classList.add("live");
    start();
  }
})();
