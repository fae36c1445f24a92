/* A condition raised in the clause that ends the script still makes the run fail. */
/* status: 4 */
/* stderr: Program interrupted */
/* stderr: Error 4.1: Program interrupted with HALT condition: USER 3 condition raised by RTFAIL: lost */
exit rtfail('0x310000FB', 9, 'lost')
