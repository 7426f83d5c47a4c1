// The live page: draws the front panel from the server's view events and sends keys, knobs, Get Screen and
// Get Log with the token. The live stream is read with fetch rather than EventSource, because EventSource cannot
// send the Authorization header that reading needs when the server is not on a loopback address.
// Every path is relative to the page: the same page serves one instrument at / and, when one program serves
// several, each of them at /i/ID/.
"use strict";

const $ = (id) => document.getElementById(id);
const TOKEN_KEY = "qv7700-token";
let shownScreen = "";

function token() { return sessionStorage.getItem(TOKEN_KEY) || ""; }
function authHeaders() { return token() ? { Authorization: "Bearer " + token() } : {}; }

function notice(text) { $("notice").textContent = text; }

function askForToken(why) {
  notice(why);
  $("token-form").hidden = false;
  $("token").focus();
}

async function post(path) {
  const res = await fetch(path, { method: "POST", headers: authHeaders() });
  if (res.status === 401) {
    askForToken("Refused (401): control needs the token.");
    return null;
  }
  const body = await res.json().catch(() => ({}));
  if (!res.ok) {
    notice(`Refused (${res.status}): ${body.error || res.statusText}`);
    return null;
  }
  notice("");
  return body;
}

function buildSoftKeys() {
  const soft = $("soft");
  for (let n = 1; n <= 9; n++) {
    const cell = document.createElement("div");
    cell.className = "cell";
    cell.innerHTML = `<button class="key" data-key="${n}">${n}</button><span class="cap" data-caption="${n}"></span>`;
    soft.appendChild(cell);
  }
}

function wireControls() {
  for (const b of document.querySelectorAll("button.key"))
    b.addEventListener("click", () => post("api/press/" + encodeURIComponent(b.dataset.key)));
  for (const k of document.querySelectorAll("button.knob")) {
    const name = encodeURIComponent(k.dataset.knob);
    let held = false;
    const release = () => {
      if (!held) return;
      held = false;
      k.classList.remove("held");
      post(`api/knob/${name}/up`);
    };
    // Held while the mouse button or the finger is down, as the window's knobs are.
    k.addEventListener("pointerdown", (e) => {
      e.preventDefault();
      k.setPointerCapture(e.pointerId);
      held = true;
      k.classList.add("held");
      post(`api/knob/${name}/down`);
    });
    for (const ev of ["pointerup", "pointercancel", "lostpointercapture"]) k.addEventListener(ev, release);
  }
  $("capture").addEventListener("click", async () => {
    notice("Getting the screen…");
    const r = await post("api/capture");
    if (r) notice(`Screen captured at ${r.time}`);
  });
  $("get-log").addEventListener("click", () => post("api/log/fetch"));
  $("token-form").addEventListener("submit", (e) => {
    e.preventDefault();
    sessionStorage.setItem(TOKEN_KEY, $("token").value.trim());
    $("token").value = "";
    $("token-form").hidden = true;
    notice("Token kept for this browser session.");
  });
}

function fillList(id, items, empty, render) {
  const list = $(id);
  list.replaceChildren();
  if (!items.length) {
    const li = document.createElement("li");
    li.className = "none";
    li.textContent = empty;
    list.appendChild(li);
  }
  for (const item of items) list.appendChild(render(item));
}

async function showScreen(screen) {
  if (!screen || screen.url === shownScreen) return;
  // The server names the screen from its root: taken relative to the page, it is this instrument's.
  const res = await fetch(screen.url.replace(/^\//, ""), { headers: authHeaders() });
  if (!res.ok) return;
  const img = $("screen");
  if (img.src) URL.revokeObjectURL(img.src);
  img.src = URL.createObjectURL(await res.blob());
  img.hidden = false;
  shownScreen = screen.url;
  $("screen-time").textContent = "captured " + new Date(screen.time).toLocaleString();
}

function draw(view) {
  const st = view.status;
  $("serial").textContent = st.serial ? "serial " + st.serial : "";
  $("link").textContent = st.present ? "instrument answers" : "instrument absent";
  $("link").className = "link " + (st.present ? "up" : "down");
  $("signal").textContent = st.signal ? "signal present" : "no signal";
  $("signal").className = "signal " + (st.signal ? "on" : "off");
  for (const b of document.querySelectorAll("button.key")) b.classList.toggle("lit", st.lit_keys.includes(b.dataset.key));
  for (const l of document.querySelectorAll(".lamp")) l.className = "lamp " + (st.lamps[l.dataset.lamp] || "off");
  for (const c of document.querySelectorAll("[data-caption]")) c.textContent = st.soft_keys[c.dataset.caption - 1] || "";
  $("box").textContent = view.box.text;
  $("box").classList.toggle("alert", view.box.alert);
  $("panel").dataset.version = view.version;
  fillList("alarms", view.alarms.filter((a) => a.active), "none active", (a) => {
    const li = document.createElement("li");
    li.className = "alarm active";
    li.textContent = a.since ? `${a.name} since ${a.since}` : a.name;
    return li;
  });
  fillList("journal", view.journal.slice(-20), "no journal lines", (j) => {
    const li = document.createElement("li");
    li.textContent = `${j.t || j.time || ""} ${j.event || j.text || JSON.stringify(j)}`;
    return li;
  });
  $("log").textContent = view.log.join("\n");
  showScreen(view.screen);
}

// Reads "event: view / data: {...}" blocks from the stream; reconnects when the stream ends.
async function follow() {
  try {
    const res = await fetch("api/events", { headers: authHeaders() });
    if (res.status === 401) {
      askForToken("Reading needs the token on this address.");
      setTimeout(follow, 3000);
      return;
    }
    const reader = res.body.getReader();
    const decoder = new TextDecoder();
    let pending = "";
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      pending += decoder.decode(value, { stream: true });
      let end;
      while ((end = pending.indexOf("\n\n")) >= 0) {
        const block = pending.slice(0, end);
        pending = pending.slice(end + 2);
        const data = block.split("\n").filter((l) => l.startsWith("data: ")).map((l) => l.slice(6)).join("\n");
        if (data) draw(JSON.parse(data));
      }
    }
  } catch (e) {
    /* the server went away: try again */
  }
  $("link").textContent = "server unreachable";
  $("link").className = "link down";
  setTimeout(follow, 2000);
}

// Among several instruments (/i/ID/): the way back to the overview, and the instrument's name in the title.
const served = location.pathname.match(/\/i\/([^/]+)\/[^/]*$/);
if (served) {
  $("overview").hidden = false;
  document.title = decodeURIComponent(served[1]) + " — QV7700 remote";
}

buildSoftKeys();
wireControls();
follow();
