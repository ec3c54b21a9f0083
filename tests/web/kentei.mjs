// 九九けんてい on a tablet against the program's own class server: the pupil finds only the
// rows the class has learned, passes 7のだん あがり (pad taps and keyboard in turn, the reading
// after each answer), misses さがり at the sixth question (a kind word, the right answer and
// its reading, もういちど), passes it on the second try, and the card shows both passes, the
// teacher's stamp given at a desktop drawn apart, and the row ごうかく. The answers are then
// read from the class folder's log.
//   node kentei.mjs /path/to/quorin
// SHOTS_DIR=folder keeps screenshots of a check under way and of the card.
import fs from 'node:fs';
import path from 'node:path';
import {
  TABLET, check, classFolder, launch, logLines, shot, signedInTablet, startServer, tap, tapText, text,
} from './harness.mjs';

const program = process.argv[2];
check(program && fs.existsSync(program), 'no program given (node kentei.mjs /path/to/quorin)');

const PUPIL = 'taro';
const READINGS = ['しちいち が しち', 'しちに じゅうし', 'しちさん にじゅういち', 'しちし にじゅうはち',
  'しちご さんじゅうご', 'しちろく しじゅうに', 'しちしち しじゅうく', 'しちは ごじゅうろく', 'しちく ろくじゅうさん'];
const room = classFolder([PUPIL]);
fs.writeFileSync(path.join(room.data, 'Quorin.dan'), '教えた段\r\n7,2\r\n');
// The teacher stamped 7のだん ばらばら at a desktop; time limits roomy for a loaded machine.
fs.writeFileSync(path.join(room.data, 'answers-desk-0123456789.csv'), '\ufeff日時,名前,活動,かけられる数,'
  + 'かける数,はじめの答え,おわり,かかった時間(ミリ秒),はじめの数,たんまつ\r\n'
  + `2026-12-01 09:00:00,${PUPIL},けんてい 7のだん ばらばら せんせい,7,1,○,,,,\r\n`);
fs.mkdirSync(room.env.XDG_CONFIG_HOME, { recursive: true });
fs.writeFileSync(path.join(room.env.XDG_CONFIG_HOME, 'ミルト　ーネ.conf'),
  '[Check]\nUpWithinMs=45000\nDownWithinMs=45000\n');
const server = await startServer(program, [...room.args, '--port', '0'], { env: room.env });
const browser = await launch().catch(async (e) => { await server.stop(); throw e; });

// Screenshots at a tablet's sizes either way and a Chromebook's, when SHOTS_DIR is set.
async function shots(page, name) {
  if (!process.env.SHOTS_DIR) return;
  for (const [width, height] of [[1366, 1024], [1366, 630], [1024, 1366]]) {
    await page.setViewport({ ...TABLET, width, height });
    await shot(page, name);
  }
}

// The card's cells as "7up own 12/8", and the rows ごうかく.
const card = (page) => page.$$eval('#card-table td[data-row]', (tds) => tds.filter((td) => td.className)
  .map((td) => `${td.dataset.row}${td.dataset.way} ${td.className} ${td.querySelector('.day').textContent}`));
const goukaku = (page) => page.$$eval('#card-table tbody tr', (trs) => trs
  .map((tr, i) => (tr.querySelector('.goukaku') ? i + 1 : 0)).filter(Boolean));

// One check of 7のだん: every answer right but the one at `missAt`; `keys` answers by the
// keyboard on odd questions. Gives the multipliers asked.
async function answerCheck(page, way, { missAt = -1, keys = false, shotAt = -1 } = {}) {
  const asked = [];
  for (let i = 0; i < 9 && i <= (missAt < 0 ? 8 : missAt); ++i) {
    await page.waitForFunction((n) => !document.getElementById('screen-check').hidden
      && document.getElementById('check-count').textContent === `${n} / 9`, {}, i + 1);
    const b = Number(/^7 × (\d) =$/.exec(await text(page, '#check-question'))[1]);
    asked.push(b);
    const focused = await page.evaluate(() => document.activeElement.id);
    check(focused === 'check-box', `question ${i + 1}: the focus is on "${focused}"`);
    const given = String(7 * b + (i === missAt ? 1 : 0));
    if (keys && i % 2) {
      await page.keyboard.type(given);
      await page.keyboard.press('Enter');
    } else {
      for (const digit of given) await tap(page, `#check-pad [data-key="${digit}"]`);
      if (i === shotAt) await shots(page, 'kentei-web-check');
      await tap(page, '#check-pad [data-key="Enter"]');
    }
    if (i < 8 && i !== missAt) {
      await page.waitForFunction((n) => document.getElementById('check-count').textContent === `${n} / 9`, {}, i + 2);
      const reading = await text(page, '#check-reading');
      check(reading === `7 × ${b} = ${7 * b}　${READINGS[b - 1]}`, `after ${way} question ${i + 1} the reading says "${reading}"`);
    }
  }
  await page.waitForSelector('#screen-card:not([hidden])');
  return asked;
}

let tabletName;
try {
  const page = await signedInTablet(browser, server.url, PUPIL);
  tabletName = (await page.$eval('#tablet-name', (e) => e.textContent)).replace(/^この たんまつ: /, '');
  await tapText(page, '九九けんてい', '#screen-home');
  await page.waitForSelector('#screen-kentei:not([hidden])');
  await shots(page, 'kentei-web-pick');
  const rows = await page.$$eval('#kentei-rows button', (bs) => bs.map((b) => b.textContent));
  check(rows.join(' ') === '2のだん 7のだん', `the rows offered: ${rows.join(' ')}`);

  // The card from the start: the teacher's stamp only.
  await tapText(page, '九九カード', '#screen-kentei');
  await page.waitForSelector('#screen-card:not([hidden])');
  let cells = await card(page);
  check(cells.join() === '7mixed teacher 12/1', `the card at the start: ${cells.join()}`);
  check(await page.$eval('#card-result', (e) => e.hidden), 'the card from the start shows a result');
  await tapText(page, 'だんを えらぶ');

  // 7のだん あがり, passed.
  await tapText(page, '7のだん', '#kentei-rows');
  await tap(page, '[data-way="up"]');
  await tapText(page, 'はじめる', '#screen-kentei');
  const up = await answerCheck(page, 'あがり', { keys: true, shotAt: 4 });
  check(up.join('') === '123456789', `あがり asked ×${up.join(' ×')}`);
  const passed = await text(page, '#card-result');
  check(passed.startsWith('ごうかく！ 7のだん あがり、'), `after あがり the card says "${passed}"`);

  // 7のだん さがり: a slip at the sixth question, then passed on the second try.
  await tapText(page, 'だんを えらぶ');
  await tap(page, '[data-way="down"]');
  await tapText(page, 'はじめる', '#screen-kentei');
  const down = await answerCheck(page, 'さがり', { missAt: 5 });
  check(down.join('') === '987654', `さがり asked ×${down.join(' ×')} before the slip`);
  const missed = await text(page, '#card-result');
  await shots(page, 'kentei-web-missed');
  check(missed === 'おしい！ 7 × 4 は 28（しちし にじゅうはち）。\nもういちど やってみよう。', `after the slip: "${missed}"`);
  await tapText(page, 'もういちど', '#screen-card');
  await answerCheck(page, 'さがり', { keys: true });
  check((await text(page, '#card-result')).startsWith('ごうかく！ 7のだん さがり'), 'さがり not passed');
  const today = new Date();
  const day = `${today.getMonth() + 1}/${today.getDate()}`;
  cells = await card(page);
  check(cells.join() === `7up own ${day},7down own ${day},7mixed teacher 12/1`, `the card: ${cells.join()}`);
  check((await goukaku(page)).join() === '7', `rows ごうかく: ${(await goukaku(page)).join()}`);
  await shots(page, 'kentei-web-card');
} catch (e) {
  await browser.close();
  await server.stop();
  throw e;
}
await browser.close();
const ended = await server.stop();
check(ended.code === 0, `the server ended with ${JSON.stringify(ended)}\n${server.stderr()}`);

// The log: each answer of the three checks under its own activity, the first of each marked,
// the slip as a wrong first answer, the tablet named.
const lines = logLines(room.data).filter((f) => f[1] === PUPIL && !f[2].endsWith('せんせい'));
const activities = lines.map((f) => f[2].replace('けんてい 7のだん ', '')).join(' ');
check(activities === ('あがり '.repeat(9) + 'さがり '.repeat(15)).trim(), `the log's checks: ${activities}`);
check(lines.filter((f) => f[6] === 'はじめ').length === 3, 'the log does not mark the first question of each check');
const wrong = lines.filter((f) => f[5] !== '○');
check(wrong.length === 1 && wrong[0][4] === '4' && wrong[0][8] === '29', `wrong lines: ${JSON.stringify(wrong)}`);
check(lines.every((f) => /^\d+$/.test(f[7]) && f[9] === tabletName), `lines without time or tablet:\n${lines.join('\n')}`);
fs.rmSync(room.data, { recursive: true, force: true });
console.log('web kentei: passed');
