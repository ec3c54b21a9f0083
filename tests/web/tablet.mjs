// One tablet for a look at the teacher's window: the program serves a class folder once to
// keep its address (class code and port, which the window takes up again for that folder),
// then a tablet opens that address, signs a pupil in and stays connected until killed.
//   node tablet.mjs address URL NAME     -- a tablet on URL, signed in as NAME
//   node tablet.mjs serve PROGRAM FOLDER -- prints the address PROGRAM --serve gives FOLDER
import { check, launch, startServer, tabletPage, tapText } from './harness.mjs';

const [mode, first, second] = process.argv.slice(2);
if (mode === 'serve') {
  const server = await startServer(first, ['--serve', '--listen', '127.0.0.1', '--port', '0',
    '--data-folder', second]);
  console.log(server.url);
  await server.stop();
} else {
  check(mode === 'address' && first && second, 'usage: node tablet.mjs address URL NAME');
  const browser = await launch();
  const page = await tabletPage(browser);
  await page.goto(first);
  await tapText(page, second, '#names');
  await page.waitForSelector('#screen-home:not([hidden])');
  console.log('signed in');
  await new Promise(() => {}); // connected until killed
}
