// The live page: draws the front panel from the server's live stream and sends keys, knobs, Get Screen and
// Get Log with the token. The live stream is read with fetch rather than EventSource, because EventSource cannot
// send the Authorization header that reading needs when the server is not on a loopback address. Its first event
// ("view") is the whole view; each one after it ("change") carries only what changed, and new journal lines.
// Every path is relative to the page: the same page serves one instrument at / and, when one program serves
// several, each of them at /i/ID/.
"use strict";

const $ = (id) => document.getElementById(id);
const TOKEN_KEY = "qv7700-token";
const JOURNAL_KEPT = 50;
let shownScreen = "";
const view = { status: null, box: null, screen: null, log: [], alarms: [], journal: [] };

function token() { return sessionStorage.getItem(TOKEN_KEY) || ""; }
function authHeaders() { return token() ? { Authorization: "Bearer " + token() } : {}; }

// kind: "ok" (green), "error" (red) or "info"; an empty text clears the line.
function notice(text, kind = "info") {
  $("notice").textContent = text;
  $("notice").className = "notice " + kind;
}

// Every time on the page in the viewer's local time with its UTC offset: "2025-03-01 10:15:00 +01:00".
function localTime(iso) {
  const t = new Date(iso);
  if (!iso || isNaN(t)) return iso || "";
  const two = (n) => String(n).padStart(2, "0");
  const off = -t.getTimezoneOffset();
  const sign = off < 0 ? "-" : "+";
  return `${t.getFullYear()}-${two(t.getMonth() + 1)}-${two(t.getDate())} ${two(t.getHours())}:${two(t.getMinutes())}:` +
    `${two(t.getSeconds())} ${sign}${two(Math.floor(Math.abs(off) / 60))}:${two(Math.abs(off) % 60)}`;
}

function askForToken(why) {
  notice(why, "error");
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
    notice(`Refused (${res.status}): ${body.error || res.statusText}`, "error");
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
    if (r) notice(`Screen captured at ${localTime(r.time)}`, "ok");
  });
  $("get-log").addEventListener("click", () => post("api/log/fetch"));
  $("token-form").addEventListener("submit", (e) => {
    e.preventDefault();
    sessionStorage.setItem(TOKEN_KEY, $("token").value.trim());
    $("token").value = "";
    $("token-form").hidden = true;
    notice("Token kept for this browser session.", "ok");
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

// The picture element is made when the first picture arrives: no empty image (a broken-image icon) before it.
async function showScreen(screen) {
  if (!screen || screen.url === shownScreen) return;
  // The server names the screen from its root: taken relative to the page, it is this instrument's.
  const res = await fetch(screen.url.replace(/^\//, ""), { headers: authHeaders() });
  if (!res.ok) return;
  let img = $("screen");
  if (!img) {
    img = document.createElement("img");
    img.id = "screen";
    img.alt = "The instrument's latest captured screen";
    $("screen-frame").appendChild(img);
  }
  if (img.src) URL.revokeObjectURL(img.src);
  img.src = URL.createObjectURL(await res.blob());
  shownScreen = screen.url;
  $("screen-time").textContent = "captured " + localTime(screen.time);
}

function captureLink(url, text) {
  const a = document.createElement("a");
  a.href = url.replace(/^\//, "");  // relative: under /i/ID/ too
  a.target = "_blank";
  a.rel = "noopener";
  a.textContent = text;
  return a;
}

function alarmItem(a) {
  const li = document.createElement("li");
  li.className = "alarm active";
  li.append(a.since ? `${a.name} since ${localTime(a.since)}` : a.name);
  if (a.detail) li.append(`: ${a.detail}`);
  if (a.capture_url) li.append(" ", captureLink(a.capture_url, "picture"));
  return li;
}

// One journal line: its local time and event, the alarm's name and state, a stored picture as a link.
function journalItem(j) {
  const li = document.createElement("li");
  li.className = "event-" + (j.event || "other");
  const time = document.createElement("time");
  time.dateTime = j.t || "";
  time.textContent = localTime(j.t);
  li.append(time, " ", j.event || "");
  if (j.event === "alarm") li.append(` ${j.name} ${j.state}`, j.detail ? `: ${j.detail}` : "");
  else if (j.event === "capture") li.append(` ${j.alarm || j.reason || ""} `);
  else if (j.event === "log") li.append(` #${j.n}: ${j.text}`);
  else if (j.event === "error") li.append(`: ${j.what}`);
  else if (j.event === "hook") li.append(` ${j.alarm} ${j.state}` + (j.run === false ? " not run" : ` exit ${j.exit}`));
  if (j.url) li.append(captureLink(j.url, (j.file || j.url).split("/").pop()));
  else if (j.file) li.append(` ${j.file}`);
  return li;
}

function drawStatus(st) {
  $("serial").textContent = st.serial ? "serial " + st.serial : "";
  $("link").textContent = st.present ? "instrument answers" : "instrument absent";
  $("link").className = "link " + (st.present ? "up" : "down");
  $("signal").textContent = st.signal ? "signal present" : "no signal";
  $("signal").className = "signal " + (st.signal ? "on" : "off");
  for (const b of document.querySelectorAll("button.key")) b.classList.toggle("lit", st.lit_keys.includes(b.dataset.key));
  const lamps = st.lamps || {};
  for (const l of document.querySelectorAll(".lamp")) l.className = "lamp " + (lamps[l.dataset.lamp] || "off");
  const captions = st.soft_keys || [];
  for (const c of document.querySelectorAll("[data-caption]")) c.textContent = captions[c.dataset.caption - 1] || "";
}

// Draws the parts an event carries: all of them for "view", the changed ones for "change".
function draw(event, data) {
  if (event === "view") {
    Object.assign(view, { screen: null, log: [], alarms: [], journal: [] });
    shownScreen = "";
  }
  if (data.status) drawStatus((view.status = data.status));
  if (data.box) {
    view.box = data.box;
    $("box").textContent = data.box.text;
    $("box").classList.toggle("alert", data.box.alert);
  }
  if (data.alarms || event === "view") {
    view.alarms = data.alarms || [];
    fillList("alarms", view.alarms.filter((a) => a.active), "none active", alarmItem);
  }
  if (data.journal || event === "view") {
    view.journal = view.journal.concat(data.journal || []).slice(-JOURNAL_KEPT);
    fillList("journal", view.journal.slice(-20).reverse(), "no journal lines", journalItem);
  }
  if (data.log) $("log").textContent = (view.log = data.log).join("\n");
  if ("screen" in data) showScreen((view.screen = data.screen));
  $("panel").dataset.version = data.version;
}

// Reads a stream of server-sent events from a fetch() answer until it ends, handing each event's name and its
// data (JSON) to handle. Read with fetch rather than EventSource for the Authorization header. The live screen's
// script uses it too.
async function readEvents(res, handle) {
  const reader = res.body.getReader();
  const decoder = new TextDecoder();
  let pending = "";
  for (;;) {
    const { value, done } = await reader.read();
    if (done) return;
    pending += decoder.decode(value, { stream: true });
    let end;
    while ((end = pending.indexOf("\n\n")) >= 0) {
      const lines = pending.slice(0, end).split("\n");
      pending = pending.slice(end + 2);
      const name = (lines.find((l) => l.startsWith("event: ")) || "event: view").slice(7);
      const data = lines.filter((l) => l.startsWith("data: ")).map((l) => l.slice(6)).join("\n");
      if (data) handle(name, JSON.parse(data));
    }
  }
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
    await readEvents(res, draw);
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
