// The page keeps a pupil's work when the network goes: against the stand-in server, a pupil
// half-way through レベル2 has the tablet reloaded and finds the answers typed so far; the
// answer to the grading is then lost on the way back, the page waits, sends the same grading
// again and shows the marks, and the server counted the set once.
// Also: the class list's names are shown as text, never as markup.
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { TABLET, check, launch, padEnter, questions, startServer, tabletPage, tapText, text } from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const server = await startServer(process.execPath, [path.join(here, 'mock-server.mjs')], {
  env: { ...process.env, MOCK_DROP: 'grade' },
});
const browser = await launch();
try {
  const page = await tabletPage(browser);
  await page.goto(server.url);

  await page.waitForSelector('#names button');
  const names = await page.$$eval('#names button', (bs) => bs.map((b) => b.textContent));
  check(names.includes('<b>ゆき</b>'), `names shown: ${names.join(' / ')}`);
  check(await page.$('#names b') === null, 'a name was put into the page as markup');

  await tapText(page, 'はなこ', '#names');
  await tapText(page, 'レベル2', '#screen-home');
  await page.waitForSelector('#sheet .box');
  const asked = await questions(page);
  const given = asked.map((q, i) => (i === 0 ? q.a * q.b + 1 : q.a * q.b));
  for (let i = 0; i < 10; ++i) await padEnter(page, given[i]);

  // The tablet is reloaded: the same questions with the answers typed, the pad in the next box.
  await page.reload();
  await page.waitForSelector('#sheet .box');
  check(JSON.stringify(await questions(page)) === JSON.stringify(asked), 'the set changed on reload');
  const kept = await page.$$eval('#sheet .box', (bs) => bs.map((b) => b.value));
  check(kept.slice(0, 10).join() === given.slice(0, 10).join() && kept.slice(10).every((v) => v === ''),
    `answers after reload: ${kept.join()}`);
  check(await page.$eval('#sheet .box.current', (b) => b.dataset.index) === '10', 'the pad is not in box 10');

  await page.evaluate(() => {
    window.sawWaiting = false;
    new MutationObserver(() => {
      if (!document.getElementById('waiting').hidden) window.sawWaiting = true;
    }).observe(document.getElementById('waiting'), { attributes: true });
  });
  for (let i = 10; i < 20; ++i) await padEnter(page, given[i]);

  await page.waitForFunction(() => document.getElementById('score').textContent !== '');
  check(await text(page, '#score') === '95点です', `the score reads "${await text(page, '#score')}"`);
  const marks = await page.$$eval('#sheet .mark', (ms) => ms.map((m) => m.firstChild.textContent)).then((m) => m.join(''));
  check(marks === '×' + '◎'.repeat(19), `marks: ${marks}`);
  check(await page.evaluate(() => window.sawWaiting), 'no waiting notice while the grading was lost');
  check(await page.$eval('#waiting', (w) => w.hidden), 'the waiting notice stays after the answer came');

  const stats = await (await fetch(new URL('/mock/stats', server.url))).json();
  check(stats.gradeRequests === 2 && stats.counted === 1, `server saw ${JSON.stringify(stats)}`);
} finally {
  await browser.close();
  await server.stop();
}
console.log('web resend: passed');
