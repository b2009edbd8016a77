#Hclass	loop
#Hversion	1

#DVariable	1
	#real	y

#DAlgloop	1
	#real	x

#EInitial	0

#Einputs	0

#Edynamic	4
    V0 = (0.5 * a0) + 1
    A0 = (0.5 * V0) + 1

#Eoutputs	0
