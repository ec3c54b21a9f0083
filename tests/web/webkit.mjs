// The pupil's journeys in WebKit (WebKitGTK's MiniBrowser over WebDriver, as on an iPad's
// engine) against the program's own class server: a new pupil signs in by typing a name,
// answers レベル1 by tapping the number pad, has the tablet reloaded half-way and finds the
// answers and the box in hand again, and grades the set to 100 points. At each step the focus
// must stay in the answer box in hand (the pad's taps must not take it), the boxes must not
// call up the on-screen keyboard, and the graded screen must fit a tablet held either way.
// Then 九九けんてい's さがり by pad taps, and the card. The roster and the answer log the server
// saved are then read from the data folder.
//   node webkit.mjs /path/to/quorin
// SHOTS_DIR=folder keeps screenshots of the sign-in and the graded level at both sizes.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { check, startServer } from './harness.mjs';
import { startWebKit } from './webdriver.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node webkit.mjs /path/to/quorin)');

const PUPIL = 'たろう';
const PORTRAIT = [1024, 1366];
const LANDSCAPE = [1366, 1024];
const started = Date.now();

let webkit;
try {
  webkit = await startWebKit();
} catch (e) {
  console.error('FAIL: ' + e.message);
  process.exit(1);
}
const wd = webkit.session;
const data = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-webkit-data-'));
// Tablets sign in only names on the class list.
fs.writeFileSync(path.join(data, 'Quorin.ini'), `Name;Novice;Intermediate;Expert;Challenge\r\n${PUPIL};0;0;0;0\r\n`);
let server;
try {
  server = await startServer(program, [
    '--serve', '--listen', '127.0.0.1', '--port', '0', '--data-folder', data,
  ], { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
} catch (e) {
  await webkit.stop();
  throw e;
}

async function shot(name) {
  const dir = process.env.SHOTS_DIR;
  if (!dir) return;
  const [w, h] = await wd.execute('return [innerWidth, innerHeight]');
  await wd.screenshot(path.join(dir, `${name}-${w}x${h}.png`));
}

const text = (selector) => wd.execute(
  'const e = document.querySelector(arguments[0]); return e ? e.textContent.trim() : null;', selector);

// A pupil's tap on a control found by its selector, or on a button found by its words.
async function tap(selector) {
  await wd.tap(await wd.visible(selector));
}
async function tapText(words, within = 'body') {
  const id = await wd.waitFor(`for (const b of document.querySelectorAll(arguments[0] + ' button'))
      if (b.textContent.trim() === arguments[1] && b.getClientRects().length && !b.disabled) return b;
    return null;`, [within, words], { what: `the button 「${words}」` });
  await wd.tap(Object.values(id)[0]);
}

// The focused element, said for a failure message.
const FOCUSED = `const e = document.activeElement;
  return e ? e.tagName.toLowerCase() + '#' + e.id + '.' + e.className : 'none';`;

async function focusIs(selector, when) {
  const ok = await wd.execute('return !!document.activeElement && document.activeElement.matches(arguments[0])', selector);
  check(ok, `${when}: the focus is on ${await wd.execute(FOCUSED)}, not ${selector}`);
}

// The box in hand takes the number: the pad's digits, then つぎへ (or こたえあわせ at the end).
async function padType(number) {
  for (const digit of String(number)) await tap(`#pad [data-key="${digit}"]`);
}

const questions = () => wd.execute(`return [...document.querySelectorAll('#sheet .box')].map((b) =>
  ({ a: Number(b.dataset.a), b: Number(b.dataset.b), value: b.value }))`);
const inHand = () => wd.execute(`const b = document.querySelector('#sheet .box.current');
  return b ? Number(b.dataset.index) : -1;`);

// What does not fit the window: a page that scrolls, controls outside the window or over one
// another, a control a finger cannot hit.
const FAULTS = `const out = [];
  const seen = (e) => e.getClientRects().length > 0 && getComputedStyle(e).visibility !== 'hidden';
  const se = document.scrollingElement;
  if (se.scrollHeight > innerHeight + 1 || se.scrollWidth > innerWidth + 1)
    out.push('the page scrolls: ' + se.scrollWidth + ' x ' + se.scrollHeight);
  const parts = [...document.querySelectorAll('button, input, .q-text, #score')].filter(seen)
    .map((e) => ({ e, r: e.getBoundingClientRect(), name: e.id || e.textContent.trim() || e.getAttribute('aria-label') }));
  for (const { e, r, name } of parts) {
    if (!e.matches('button, input')) continue;
    if (r.top < -0.5 || r.left < -0.5 || r.bottom > innerHeight + 0.5 || r.right > innerWidth + 0.5)
      out.push(name + ' outside the window at ' + [r.left, r.top, r.right, r.bottom].map(Math.round).join(','));
    if (r.width < 44 || r.height < 44) out.push(name + ' is ' + Math.round(r.width) + ' x ' + Math.round(r.height));
  }
  for (const [i, x] of parts.entries())
    for (const y of parts.slice(i + 1))
      if (!x.e.contains(y.e) && !y.e.contains(x.e)
          && Math.min(x.r.right, y.r.right) - Math.max(x.r.left, y.r.left) > 1
          && Math.min(x.r.bottom, y.r.bottom) - Math.max(x.r.top, y.r.top) > 1)
        out.push(x.name + ' lies over ' + y.name);
  return out;`;

async function fits(where) {
  const faults = await wd.execute(FAULTS);
  check(faults.length === 0, `${where} at ${await wd.execute('return innerWidth + " x " + innerHeight')}:\n  ${faults.join('\n  ')}`);
}

let asked;
let tabletName;
try {
  await wd.viewport(...PORTRAIT);
  await wd.navigate(server.url);

  // Sign-in: the name box has the focus; the pupil taps it and types the name.
  await wd.visible('#screen-signin:not([hidden]) #signin-name');
  await focusIs('#signin-name', 'the sign-in screen');
  tabletName = (await text('#tablet-name')).replace(/^この たんまつ: /, '');
  check(tabletName !== '', 'the page shows no tablet name from hello');
  await shot('webkit-signin');
  const nameBox = await wd.visible('#signin-name');
  await wd.tap(nameBox);
  await wd.sendKeys(nameBox, PUPIL);
  check(await wd.execute('return document.getElementById("signin-name").value') === PUPIL, 'the name was not typed');
  await tapText('はじめる');
  await wd.visible('#screen-home:not([hidden]) nav');
  check((await text('#pupil-name')).startsWith(PUPIL), 'the signed-in name is not shown');

  // レベル1: the boxes take no on-screen keyboard and the first is in hand, focused.
  await tapText('レベル1', '#screen-home');
  await wd.visible('#sheet .box');
  asked = await questions();
  check(asked.length === 20, `レベル1 dealt ${asked.length} questions`);
  const boxes = await wd.execute(`return [...document.querySelectorAll('#sheet .box')]
    .every((b) => b.readOnly && b.getAttribute('inputmode') === 'none')`);
  check(boxes, 'an answer box would call up the on-screen keyboard');
  await focusIs('#sheet .box.current', 'a new set');

  // Half the set by taps on the pad; the focus stays in the box in hand.
  for (let i = 0; i < 10; ++i) {
    check(await inHand() === i, `after ${i} answers the pad types into box ${await inHand()}`);
    await padType(asked[i].a * asked[i].b);
    await focusIs(`#sheet .box[data-index="${i}"]`, `digits tapped into box ${i}`);
    await tap('#pad [data-key="Enter"]');
  }
  await focusIs('#sheet .box[data-index="10"]', 'after つぎへ');

  // The tablet is reloaded: the pupil, the questions, the answers and the box in hand are kept.
  await wd.refresh();
  await wd.visible('#screen-drill:not([hidden]) #sheet .box');
  check((await text('#pupil-name')).startsWith(PUPIL), 'the pupil is signed out by the reload');
  const kept = await questions();
  check(JSON.stringify(kept.map((q) => [q.a, q.b])) === JSON.stringify(asked.map((q) => [q.a, q.b])),
    'the set changed on reload');
  check(kept.every((q, i) => q.value === (i < 10 ? String(q.a * q.b) : '')),
    `answers after reload: ${kept.map((q) => q.value).join()}`);
  check(await inHand() === 10, `after the reload the pad types into box ${await inHand()}`);
  await focusIs('#sheet .box.current', 'after the reload');

  // The rest, the last graded with こたえあわせ.
  for (let i = 10; i < 20; ++i) {
    check(await inHand() === i, `after ${i} answers the pad types into box ${await inHand()}`);
    await padType(asked[i].a * asked[i].b);
    if (i < 19) await tap('#pad [data-key="Enter"]');
  }
  await tapText('こたえあわせ', '#screen-drill');
  await wd.waitFor('return document.getElementById("score").textContent.includes("点です")', [],
    { what: 'the score' });
  check(await text('#score') === '100点です', `the score reads "${await text('#score')}"`);
  const marks = await wd.execute(`return [...document.querySelectorAll('#sheet .mark')]
    .map((m) => m.firstChild.textContent).join('')`);
  check(marks === '◎'.repeat(20), `marks after grading: ${marks}`);

  // The graded screen fits a tablet held either way.
  await fits('the graded level');
  await shot('webkit-level1-graded');
  await wd.viewport(...LANDSCAPE);
  await fits('the graded level');
  await shot('webkit-level1-graded');

  // 九九けんてい: 7のだん さがり by pad taps, the focus kept in the answer box; the card after.
  await tap('#home-button');
  await tapText('九九けんてい', '#screen-home');
  await tapText('7のだん', '#kentei-rows');
  await tap('[data-way="down"]');
  await tapText('はじめる', '#screen-kentei');
  for (let i = 0; i < 9; ++i) {
    await wd.waitFor('return document.getElementById("check-count").textContent === arguments[0]', [`${i + 1} / 9`],
      { what: `question ${i + 1} of the check` });
    const question = await text('#check-question');
    check(question === `7 × ${9 - i} =`, `question ${i + 1} of さがり: ${question}`);
    for (const digit of String(7 * (9 - i))) await tap(`#check-pad [data-key="${digit}"]`);
    await focusIs('#check-box', `digits tapped into question ${i + 1}`);
    await tap('#check-pad [data-key="Enter"]');
  }
  await wd.visible('#screen-card:not([hidden]) #card-table td');
  check((await text('#card-result')).startsWith('ごうかく！ 7のだん さがり'), `the check ends: ${await text('#card-result')}`);
  check(await wd.execute('return document.querySelector(\'#card-table td[data-row="7"][data-way="down"]\').className') === 'own',
    'the card does not show 7のだん さがり passed');
  await fits('the card');
  await shot('webkit-kentei-card');
  await wd.viewport(...PORTRAIT);
  await fits('the card');
} catch (e) {
  console.error(webkit.log().split('\n').slice(-20).join('\n'));
  await webkit.stop();
  await server.stop();
  throw e;
}
await webkit.stop();

// The server saves what is pending when it is asked to stop.
const ended = await server.stop();
check(ended.code === 0, `the server ended with ${JSON.stringify(ended)}\n${server.stderr()}`);

// The roster (code page 932): the pupil with a run of 1 in the first level's column.
const roster = new TextDecoder('shift_jis').decode(fs.readFileSync(path.join(data, 'Quorin.ini')));
const row = roster.split(/\r?\n/).find((line) => line.split(';')[0] === PUPIL);
check(row && row.split(';')[1] === '1', `roster row "${row}" in\n${roster}`);

// The answer log: the twenty facts asked, each once, right, with the tablet's name.
const logs = fs.readdirSync(data).filter((f) => /^answers-.*\.csv$/.test(f));
check(logs.length === 1, `answer logs in the data folder: ${logs.join(', ')}`);
const lines = fs.readFileSync(path.join(data, logs[0]), 'utf8').slice(1).split(/\r\n/).filter(Boolean)
  .slice(1).map((l) => l.split(',')).filter((f) => f[1] === PUPIL && f[2] === 'レベル1');
const facts = (list) => list.map((q) => `${q.a}×${q.b}`).sort().join(' ');
check(lines.length === 20 && facts(lines.map((f) => ({ a: f[3], b: f[4] }))) === facts(asked),
  `the log's lines of ${PUPIL} in レベル1:\n${lines.join('\n')}`);
for (const f of lines)
  check(f[5] === '○' && f[9] === tabletName, `log line: ${f.join(',')}`);
const checked = fs.readFileSync(path.join(data, logs[0]), 'utf8').split(/\r\n/).map((l) => l.split(','))
  .filter((f) => f[1] === PUPIL && f[2] === 'けんてい 7のだん さがり' && f[5] === '○');
check(checked.map((f) => f[4]).join('') === '987654321', `the log's さがり: ${checked.map((f) => f[4]).join(' ')}`);

fs.rmSync(data, { recursive: true, force: true });
console.log(`web webkit: passed in ${((Date.now() - started) / 1000).toFixed(1)} s`);
