/* A report that asks for ERROR ends the script when HALT is not trapped; the next clause never runs. */
/* status: 4 */
/* stderr: line 5: Program interrupted */
/* stderr: Error 4.1: Program interrupted with HALT condition: ERROR condition raised by RTFAIL: session handle not open */
x = rtfail('0x310000FB', 0, 'session handle not open')
exit 9
