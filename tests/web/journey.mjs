// A pupil's journey on a tablet against the program's own class server: the program serves
// its page, a pupil on the class list signs in by typing the name, answers レベル1 by tapping the number pad
// to 100 points and looks at the fact map; the server is stopped and what it saved is read
// from the data folder.
//   node journey.mjs /path/to/quorin
// SHOTS_DIR=folder keeps screenshots of the sign-in, the graded level and the fact map.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {
  LANDSCAPE, TABLET, check, launch, padEnter, questions, shot, startServer, tabletPage, tap, tapText, text,
} from './harness.mjs';

const program = process.argv[2] || process.env.QUORIN_BIN;
check(program && fs.existsSync(program), `no program given (node journey.mjs /path/to/quorin)`);

const PUPIL = 'たろう';
const data = fs.mkdtempSync(path.join(os.tmpdir(), 'quorin-web-'));
// The class list (code page 932): tablets sign in only names on it.
fs.writeFileSync(path.join(data, 'Quorin.ini'), Buffer.concat([
  Buffer.from('Name;Novice;Intermediate;Expert;Challenge\r\n'),
  Buffer.from([0x82, 0xbd, 0x82, 0xeb, 0x82, 0xa4]), Buffer.from(';0;0;0;0\r\n')]));
const server = await startServer(program, [
  '--serve', '--listen', '127.0.0.1', '--port', '0', '--data-folder', data,
], { env: { ...process.env, QT_QPA_PLATFORM: 'offscreen' } });
let browser;
try {
  browser = await launch();
} catch (e) {
  await server.stop();
  throw e;
}

async function both(page, name) {
  await page.setViewport(LANDSCAPE);
  await shot(page, name);
  await page.setViewport(TABLET);
  await shot(page, name);
}

let asked;
let tabletName;
try {
  const page = await tabletPage(browser);
  await page.goto(server.url);

  // Sign-in: the pupil types the name into the box.
  await page.waitForSelector('#screen-signin:not([hidden])');
  tabletName = (await text(page, '#tablet-name')).replace(/^この たんまつ: /, '');
  check(tabletName !== '', 'the page shows no tablet name from hello');
  await both(page, 'signin');
  await tap(page, '#signin-name');
  await page.keyboard.type(PUPIL);
  await tapText(page, 'はじめる');
  await page.waitForSelector('#screen-home:not([hidden])');
  check((await text(page, '#pupil-name')).startsWith(PUPIL), 'the signed-in name is not shown');

  // レベル1: twenty questions, each box labelled with its question, answered with the pad.
  await tapText(page, 'レベル1', '#screen-home');
  await page.waitForSelector('#sheet .box');
  asked = await questions(page);
  check(asked.length === 20, `レベル1 dealt ${asked.length} questions`);
  for (const q of asked) {
    check(q.a >= 1 && q.a <= 9 && q.b >= 1 && q.b <= 9, `question out of the table: ${JSON.stringify(q)}`);
    check(q.label === `${q.a} かける ${q.b}`, `box labelled "${q.label}"`);
  }
  for (let i = 0; i < asked.length; ++i) {
    const inHand = await page.$eval('#sheet .box.current', (b) => Number(b.dataset.index));
    check(inHand === i, `after ${i} answers the pad types into box ${inHand}`);
    if (i < asked.length - 1) {
      await padEnter(page, asked[i].a * asked[i].b);
    } else {
      for (const digit of String(asked[i].a * asked[i].b)) await tap(page, `#pad [data-key="${digit}"]`);
      await tapText(page, 'こたえあわせ');
    }
  }
  await page.waitForFunction(() => document.getElementById('score').textContent.includes('点です'));
  check(await text(page, '#score') === '100点です', `the score reads "${await text(page, '#score')}"`);
  const marks = await page.$$eval('#sheet .mark', (ms) => ms.map((m) => m.firstChild.textContent));
  check(marks.length === 20 && marks.every((m) => m === '◎'), `marks after grading: ${marks.join('')}`);
  await both(page, 'level1-graded');

  // The fact map after the level.
  await tap(page, '#home-button');
  await tapText(page, 'わたしの 九九', '#screen-home');
  await page.waitForSelector('#screen-facts:not([hidden])');
  const known = await text(page, '#facts-known');
  check(/^おぼえた 九九: \d+ \/ 81$/.test(known), `fact map heading "${known}"`);
  check((await page.$$('#facts-map td')).length === 81, 'the fact map does not hold 81 facts');
  await both(page, 'facts');
} catch (e) {
  await browser.close();
  await server.stop();
  throw e;
}
await browser.close();

// The server saves what is pending when it is asked to stop.
const ended = await server.stop();
check(ended.code === 0, `the server ended with ${JSON.stringify(ended)}\n${server.stderr()}`);

// The roster (code page 932): the pupil with a run of 1 in the first level's column.
const roster = new TextDecoder('shift_jis').decode(fs.readFileSync(path.join(data, 'Quorin.ini')));
const row = roster.split(/\r?\n/).find((line) => line.split(';')[0] === PUPIL);
check(row, `no ${PUPIL} in the roster:\n${roster}`);
check(row.split(';')[1] === '1', `roster row "${row}"`);

// The answer log: twenty right answers of the pupil in レベル1, the facts asked, the numbers
// given, a time each, and the tablet's name.
const logs = fs.readdirSync(data).filter((f) => /^answers-.*\.csv$/.test(f));
check(logs.length === 1, `answer logs in the data folder: ${logs.join(', ')}`);
const log = fs.readFileSync(path.join(data, logs[0]), 'utf8');
check(log.startsWith('\ufeff日時,名前,活動,'), 'the answer log has no byte order mark and header');
const lines = log.slice(1).split(/\r\n/).filter(Boolean).slice(1).map((l) => l.split(','))
  .filter((f) => f[1] === PUPIL && f[2] === 'レベル1');
check(lines.length === 20, `${lines.length} log lines of ${PUPIL} in レベル1:\n${log}`);
const facts = (list) => list.map((q) => `${q.a}×${q.b}`).sort().join(' ');
check(facts(lines.map((f) => ({ a: f[3], b: f[4] }))) === facts(asked), 'the logged facts are not those asked');
for (const f of lines) {
  check(f[5] === '○' && f[6] === '', `log line not right and finished: ${f.join(',')}`);
  check(/^\d+$/.test(f[7]) && Number(f[8]) === f[3] * f[4], `log line without time or number: ${f.join(',')}`);
  check(f[9] === tabletName, `log line's tablet "${f[9]}", the page said "${tabletName}"`);
}

fs.rmSync(data, { recursive: true, force: true });
console.log('web journey: passed');
