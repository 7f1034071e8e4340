/* The scripted installer carries no registration helper: a plugin of the
 * other architecture is not among its cases. */
const unsigned char registrationHelper[1] = {0};
const unsigned long registrationHelperSize = 0;
