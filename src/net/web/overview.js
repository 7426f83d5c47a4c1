// The overview of several instruments served by one program: a tile each (present or not, page, signal, the
// gamut lamps, active alarms, the latest screen), read from /api/instruments every two seconds; a tile opens the
// instrument's own page under i/ID/. Paths are relative, as the panel page's are.
"use strict";

const $ = (id) => document.getElementById(id);
const TOKEN_KEY = "qv7700-token";
const thumbs = new Map();  // id -> {url, blob} of the screen shown on its tile

function token() { return sessionStorage.getItem(TOKEN_KEY) || ""; }
function authHeaders() { return token() ? { Authorization: "Bearer " + token() } : {}; }

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

function lamp(name, colour) {
  const row = element("span", "row");
  const l = element("span", "lamp " + (colour || "off"));
  l.dataset.lamp = name;
  row.append(l, element("span", "caption", name === "gamut-plus" ? "GAMUT +" : "GAMUT-"));
  return row;
}

async function thumbnail(inst, img) {
  const known = thumbs.get(inst.id);
  if (!inst.screen) return;
  if (known && known.url === inst.screen) {
    img.src = known.blob;
    img.hidden = false;
    return;
  }
  const res = await fetch(inst.screen, { headers: authHeaders() });
  if (!res.ok) return;
  if (known) URL.revokeObjectURL(known.blob);
  const blob = URL.createObjectURL(await res.blob());
  thumbs.set(inst.id, { url: inst.screen, blob });
  img.src = blob;
  img.hidden = false;
}

function tile(inst) {
  const a = element("a", "tile " + (inst.present ? "present" : "absent"));
  a.href = inst.url;
  a.dataset.id = inst.id;
  const head = element("div", "tile-head");
  head.append(element("strong", "id", inst.id),
              element("span", "link " + (inst.present ? "up" : "down"), inst.present ? "present" : "absent"));
  if (inst.live) head.append(element("span", "live-on", "live"));
  a.append(head);
  const mode = inst.mode && (inst.mode.key || inst.mode.code !== null) ?
    `${inst.mode.key || "page"} ${inst.mode.code !== null ? "(" + inst.mode.code + ")" : ""}`.trim() : "no page";
  const facts = element("div", "facts");
  facts.append(element("span", "mode", mode),
               element("span", "signal " + (inst.signal ? "on" : "off"),
                       inst.signal === null ? "signal ?" : inst.signal ? "signal present" : "no signal"));
  a.append(facts);
  const lamps = element("div", "gamut-lamps");
  const l = inst.lamps || {};
  lamps.append(lamp("gamut-plus", l["gamut-plus"]), lamp("gamut-minus", l["gamut-minus"]));
  a.append(lamps);
  const alarms = element("ul", "tile-alarms");
  if (!inst.alarms.length) alarms.append(element("li", "none", "no alarm active"));
  for (const name of inst.alarms) alarms.append(element("li", "alarm active", name));
  a.append(alarms);
  const img = element("img", "thumb");
  img.alt = `The latest screen of ${inst.id}`;
  img.hidden = true;
  a.append(img);
  if (!inst.screen) a.append(element("span", "no-thumb", "no screen captured yet"));
  thumbnail(inst, img);
  a.append(element("span", "serial", inst.serial ? `serial ${inst.serial} · ${inst.device}` : inst.device));
  return a;
}

async function refresh() {
  try {
    const res = await fetch("api/instruments", { headers: authHeaders() });
    if (res.status === 401) {
      $("notice").textContent = "Reading needs the token on this address.";
      $("token-form").hidden = false;
      return;
    }
    const list = await res.json();
    $("tiles").replaceChildren(...list.map(tile));
    const present = list.filter((i) => i.present).length;
    $("count").textContent = `${list.length} instrument${list.length === 1 ? "" : "s"}, ${present} present`;
    $("count").className = "link " + (present === list.length ? "up" : "down");
  } catch (e) {
    $("count").textContent = "server unreachable";
    $("count").className = "link down";
  }
}

$("token-form").addEventListener("submit", (e) => {
  e.preventDefault();
  sessionStorage.setItem(TOKEN_KEY, $("token").value.trim());
  $("token").value = "";
  $("token-form").hidden = true;
  $("notice").textContent = "";
  refresh();
});
refresh();
setInterval(refresh, 2000);
